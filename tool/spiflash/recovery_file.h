// Recovery files: the whole of a partly covered erase block as it must read
// once the operation is done, kept from just before the block's erase until
// its kept bytes are back on the chip. Should the process die in between
// (killed, out of memory, a crash of the host, a power loss), the file is on
// the disk; the next erase or program run on that board's chip puts the
// block back from it before anything else.
//
// The files live in one folder per user ($ZORVIUTIL_STATE_DIR, else the
// system's per-user state folder), named by the board's VPD serial number,
// the chip and the block, so that boards programmed from one folder or one
// host never meet. A file is created exclusively and never through a link,
// and once there it is never replaced: it is the truth for the bytes outside
// the range until the block is back and verified.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/no_copy.h"
#include "base/result_codes.h"

/// The folder of the recovery files, absolute; empty when none can be named.
std::string recoveryFolder();

/// Name of a block's recovery file: board<serial>-spi-chip<N>-block-0x<8 hex digits>.bin.
std::string recoveryFileName(uint32_t board, uint32_t chip, uint32_t blockStart);
/// The board, chip and block a recovery file's name stands for; false for
/// any other name.
bool parseRecoveryFileName(const std::string& name, uint32_t* board, uint32_t* chip, uint32_t* blockStart);
/// The form earlier versions wrote into the current folder, without the
/// board: spi-chip<N>-block-0x<8 hex digits>.bin.
bool parseLegacyRecoveryFileName(const std::string& name, uint32_t* chip, uint32_t* blockStart);

/// Where one run keeps the blocks of one board's chip.
struct RecoveryScope {
    std::string folder;
    uint32_t board = 0;
    uint32_t chip = 0;
    std::string link;  ///< the link option, for the commands printed

    /// The whole path of a block's file.
    std::string pathOf(uint32_t blockStart) const;
    /// The command that programs a block's file back.
    std::string restoreCommand(const std::string& path, uint32_t blockStart) const;
};

/// Whether `folder` holds a recovery file of `chip` of any board: then the
/// run must learn which board it talks to.
bool anyRecoveryFiles(const std::string& folder, uint32_t chip);
/// The blocks earlier runs kept for the scope's board and chip, by address.
std::vector<uint32_t> keptBlocks(const RecoveryScope& scope);

/// Reads a kept block's file: a regular file, never followed through a
/// link, of exactly `size` bytes. Prints why not and returns 44.
[[nodiscard]] Result readKeptBlock(const std::string& path, uint32_t size, std::vector<uint8_t>* bytes);
/// The size of a kept block's file (0 when it cannot be told).
uint64_t keptBlockSize(const std::string& path);
/// Removes a block's file once its block is back, and puts that on the disk.
void removeKeptBlock(const std::string& path);

/// Warns on standard error, once per chip and run, about the files an
/// earlier version left in the current folder (they name no board, so the
/// program never reads them itself).
void warnAboutLegacyRecoveryFiles(uint32_t chip, const std::string& link);

/// One block's recovery file while the block is rewritten.
class RecoveryFile : NoCopy {
public:
    RecoveryFile() = default;

    /// Before the erase: writes the block as it must read (`size` bytes) to
    /// its file and puts it on the disk. False, with the failure line
    /// printed, when the file could not be made: the block must then not be
    /// erased, since its kept bytes would live in memory only.
    [[nodiscard]] bool keep(const RecoveryScope& scope, uint32_t blockStart, const uint8_t* block, uint32_t size);
    /// After the kept bytes were written back: removes the file keep wrote.
    void release();
    /// The file's whole path once keep wrote it.
    const std::string& path() const { return path_; }

private:
    std::string path_;
    bool kept_ = false;
};
