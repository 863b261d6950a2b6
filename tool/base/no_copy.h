// A base for the objects that hold a run-wide resource (the output sink, a
// session with the board, a file being written): they are never copied, so
// two copies can never both give it back.
#pragma once

struct NoCopy {
    NoCopy() = default;
    NoCopy(const NoCopy&) = delete;
    NoCopy& operator=(const NoCopy&) = delete;
};
