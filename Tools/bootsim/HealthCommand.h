// bootsim health DIR: the state of a board's NAND card as kvfs sees it after
// a mount (blocks used, erased and bad, erase counts) and a read-back of
// every file through the kvfs driver protocol.
#pragma once

#include <string>

namespace bootsim {

// 0 healthy, 1 a file did not read back or the card is unavailable,
// 70 board directory error.
int RunHealthCommand(const std::string &directory);

}  // namespace bootsim
