// The recovery file of a partly covered erase block: the whole block as it
// must read once the operation is done, kept in the current folder from just
// before the block's erase until its kept bytes are back on the chip. Should
// the process die in between (killed, out of memory, a crash of the host, a
// power loss), the file is on the disk and programming it back restores the
// block; a later run that touches the chip says so.
#pragma once

#include <cstdint>
#include <string>

/// Name of a block's recovery file: spi-chip<N>-block-0x<8 hex digits>.bin.
std::string recoveryFileName(uint32_t chip, uint32_t blockStart);
/// The chip and block a recovery file's name stands for; false for any other
/// name.
bool parseRecoveryFileName(const std::string& name, uint32_t* chip, uint32_t* blockStart);
/// The warning for a recovery file found in the current folder, with the
/// command that puts its block back.
std::string recoveryFileWarning(const std::string& name, uint32_t chip, uint32_t blockStart);

/// Warns on standard error about every recovery file of `chip` in the
/// current folder, once per chip and run.
void warnAboutRecoveryFiles(uint32_t chip);

/// One block's recovery file while the block is rewritten.
class RecoveryFile {
public:
    RecoveryFile() = default;
    RecoveryFile(const RecoveryFile&) = delete;
    RecoveryFile& operator=(const RecoveryFile&) = delete;

    /// Before the erase: writes the block as it must read (`size` bytes) to
    /// its file and makes it durable. A file of that name from an earlier
    /// run is left as it is. A failure only warns: the operation goes on
    /// with the bytes in memory, as it would without the file.
    void keep(uint32_t chip, uint32_t blockStart, const uint8_t* block, uint32_t size);
    /// After the kept bytes were written back: removes the file keep wrote.
    void release();
    /// Whether keep wrote the file (it holds the block; it is not released).
    bool kept() const { return kept_; }

private:
    std::string name_;
    bool kept_ = false;
};
