// bootsim: the simulated router board. Powers a board on, loads the
// firmware drivers and runs the boot manager, with the console on stdout.
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "Board/Board.h"
#include "Board/BoardDirectory.h"
#include "Board/BootManager.h"
#include "Devices/BootFlash.h"
#include "Devices/ConsoleUart.h"

#include "BootAgent.h"
#include "FileCommands.h"
#include "HealthCommand.h"
#include "NandCtl.h"
#include "StorageInit.h"

namespace {

enum ExitCode {
  kExitOsStarted = 0,
  kExitReturned = 1,
  kExitReset = 2,
  kExitHalted = 3,
  kExitUsage = 64,
  kExitBoardError = 70,
};

const char kUsage[] =
    "Usage:\n"
    "  bootsim boot [DIR] [options]   power the board on and boot it\n"
    "  bootsim new DIR [options]      lay out a fresh board in DIR\n"
    "  bootsim put DIR LOCAL DEVICE:/path   copy a local file onto the board\n"
    "  bootsim get DIR DEVICE:/path LOCAL   copy a file off the board\n"
    "  bootsim ls DIR DEVICE:/path          list a directory on the board\n"
    "  bootsim rm DIR DEVICE:/path          remove a file from the board\n"
    "  bootsim health DIR             report the NAND card's health\n"
    "  bootsim --help\n"
    "\n"
    "A board directory holds the whole persistent state of one board:\n"
    "  board.txt       settings: board_id, straps, clock, oam_plug\n"
    "  bootflash.bin   the 16 MiB boot flash image\n"
    "Without DIR, boot uses the default board ./board (or $BOOTSIM_BOARD),\n"
    "created on first use.\n"
    "\n"
    "Options (for this run; 'new' stores them in board.txt):\n"
    "  --board-id N             board ID the board reports\n"
    "  --oam-loopback[=MODE]    plug on the OAM serial port: echo (default),\n"
    "                           echo-first:N, fail-first:K, none\n"
    "  --test-request-word V    store V (e.g. 0x1234ABCD) as the test request\n"
    "                           word in the boot flash before powering on\n"
    "  --max-time SECONDS       end the run as halted once this much virtual\n"
    "                           time has passed (default 600)\n"
    "\n"
    "Console output goes to stdout as the firmware prints it. The last line is\n"
    "for scripts and stays stable:\n"
    "  bootsim: outcome=os-started entry=0x... time=...\n"
    "  bootsim: outcome=returned status=0x... time=...\n"
    "  bootsim: outcome=reset reset=<cold|warm|shutdown|platform> status=0x... time=...\n"
    "  bootsim: outcome=halted reason=<word> time=...\n"
    "Exit status: 0 os-started, 1 returned, 2 reset, 3 halted, 64 usage error,\n"
    "70 board directory error.\n"
    "\n"
    "File commands power the board on with NandCtl and StorageInit loaded and\n"
    "use the firmware's own file API, so files land where BootAgent finds them.\n"
    "DEVICE is cfcard: (the NAND card, nand.img) or ofs1: (the folder ofs1 in\n"
    "the board directory); put creates missing directories above the file.\n"
    "ls prints one entry a line: the size in bytes (or \"dir\") and the name.\n"
    "They need an existing board (bootsim new DIR). Exit status: 0 done,\n"
    "1 the board refused (no such file or directory, card unavailable, write\n"
    "failed; the firmware console is shown on stderr), 64 usage error, 70 board\n"
    "directory error, 74 local file error.\n"
    "\n"
    "health mounts the card and prints its blocks (used, erased, bad), the\n"
    "erase counts (min, max, spread) and every file with its size, read back\n"
    "whole; the last line is 'bootsim: health=ok|bad files=N bytes=N\n"
    "unreadable=N'. Exit status 0 healthy, 1 not, 70 board directory error.\n";

struct Options {
  std::string command;
  std::string directory;
  bool boardIdSet = false;
  uint16_t boardId = 0;
  bool plugSet = false;
  sim::OamPlugSetting plug;
  bool testRequestSet = false;
  uint32_t testRequestWord = 0;
  double maxTimeSeconds = 600;
};

bool ParseNumber(const char *text, uint64_t max, uint64_t *out) {
  errno = 0;
  char *end = nullptr;
  unsigned long long v = std::strtoull(text, &end, 0);
  if (errno != 0 || end == text || *end != '\0' || v > max || text[0] == '-') return false;
  *out = v;
  return true;
}

int UsageError(const std::string &message) {
  std::fprintf(stderr, "bootsim: %s\n(see bootsim --help)\n", message.c_str());
  return kExitUsage;
}

// Returns -1 when parsing succeeded, otherwise the exit code.
int ParseArguments(int argc, char **argv, Options *options) {
  std::vector<std::string> positional;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    auto value = [&](const char *name) -> const char * {
      if (i + 1 >= argc) return nullptr;
      (void)name;
      return argv[++i];
    };
    uint64_t n = 0;
    if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    } else if (arg == "--board-id") {
      const char *v = value("--board-id");
      if (v == nullptr || !ParseNumber(v, 0xFFFF, &n)) return UsageError("--board-id needs a number 0..65535");
      options->boardIdSet = true;
      options->boardId = uint16_t(n);
    } else if (arg == "--oam-loopback" || arg.rfind("--oam-loopback=", 0) == 0) {
      std::string mode = arg == "--oam-loopback" ? "echo" : arg.substr(15);
      if (!sim::OamPlugSetting::Parse(mode, &options->plug)) {
        return UsageError("--oam-loopback takes echo, echo-first:N, fail-first:K or none");
      }
      options->plugSet = true;
    } else if (arg == "--test-request-word") {
      const char *v = value("--test-request-word");
      if (v == nullptr || !ParseNumber(v, 0xFFFFFFFFu, &n)) return UsageError("--test-request-word needs a 32-bit value");
      options->testRequestSet = true;
      options->testRequestWord = uint32_t(n);
    } else if (arg == "--max-time") {
      const char *v = value("--max-time");
      char *end = nullptr;
      double seconds = v == nullptr ? 0 : std::strtod(v, &end);
      if (v == nullptr || *end != '\0' || !(seconds > 0)) return UsageError("--max-time needs a positive number of seconds");
      options->maxTimeSeconds = seconds;
    } else if (!arg.empty() && arg[0] == '-') {
      return UsageError("unknown option " + arg);
    } else {
      positional.push_back(arg);
    }
  }
  if (positional.empty()) return UsageError("no command given");
  options->command = positional[0];
  if (options->command != "boot" && options->command != "new") {
    return UsageError("unknown command " + options->command);
  }
  if (positional.size() > 2) return UsageError("too many arguments");
  if (positional.size() == 2) {
    options->directory = positional[1];
  } else if (options->command == "new") {
    return UsageError("new needs a board directory");
  } else {
    const char *env = std::getenv("BOOTSIM_BOARD");
    options->directory = env != nullptr && *env != '\0' ? env : "board";
  }
  return -1;
}

void ApplyOverrides(const Options &options, sim::BoardSettings *settings) {
  if (options.boardIdSet) settings->boardId = options.boardId;
  if (options.plugSet) settings->oamPlug = options.plug;
}

const char *ResetTypeName(uint32_t type) {
  switch (type) {
    case EfiResetCold: return "cold";
    case EfiResetWarm: return "warm";
    case EfiResetShutdown: return "shutdown";
    default: return "platform";
  }
}

void HaltAtTimeLimit(void *, uint64_t nowNs) {
  sim::RunEnd end;
  end.outcome = sim::RunOutcome::Halted;
  end.reason = "time-limit";
  end.timeNs = nowNs;
  sim::EndRun(end);
}

int PrintOutcome(const sim::BootResult &result) {
  double seconds = double(result.end.timeNs) / 1e9;
  std::fflush(stdout);
  switch (result.end.outcome) {
    case sim::RunOutcome::OsStarted:
      std::printf("\nbootsim: outcome=os-started entry=0x%08X time=%.6fs\n", result.end.value, seconds);
      return kExitOsStarted;
    case sim::RunOutcome::Returned:
      if (!result.uetFound) {
        std::printf("\nbootsim: outcome=halted reason=no-boot-protocol time=%.6fs\n", seconds);
        return kExitHalted;
      }
      std::printf("\nbootsim: outcome=returned status=0x%08X time=%.6fs\n", uint32_t(result.status), seconds);
      return kExitReturned;
    case sim::RunOutcome::Reset:
      std::printf("\nbootsim: outcome=reset reset=%s status=0x%08X time=%.6fs\n", ResetTypeName(result.end.resetType),
                  result.end.value, seconds);
      return kExitReset;
    case sim::RunOutcome::PowerCut:
      std::printf("\nbootsim: outcome=halted reason=power-cut time=%.6fs\n", seconds);
      return kExitHalted;
    case sim::RunOutcome::Halted:
      std::printf("\nbootsim: outcome=halted reason=%s time=%.6fs\n",
                  result.end.reason.empty() ? "halted" : result.end.reason.c_str(), seconds);
      return kExitHalted;
  }
  return kExitHalted;
}

int Boot(const Options &options) {
  sim::BoardSettings settings;
  std::string error;
  if (!sim::OpenOrCreateBoardDirectory(options.directory, &settings, &error)) {
    std::fprintf(stderr, "bootsim: %s\n", error.c_str());
    return kExitBoardError;
  }
  ApplyOverrides(options, &settings);
  sim::Board board(options.directory, settings);
  if (options.testRequestSet) board.bootFlash->Write32(TEST_REQUEST_WORD_OFFSET, options.testRequestWord);
  board.consoleUart->SetEcho([](char c) { std::fputc(c, stdout); });
  board.PrepareMemoryConsoleLog(64 * 1024);
  board.clock.SetTimeLimit(uint64_t(options.maxTimeSeconds * 1e9), HaltAtTimeLimit, nullptr);

  std::fprintf(stderr, "bootsim: powering on board %s (board id %u, OAM plug %s)\n", options.directory.c_str(),
               settings.boardId, settings.oamPlug.ToString().c_str());
  std::vector<sim::DriverImage> drivers = {
      {"NandCtl", NandCtlEntryPoint}, {"StorageInit", StorageInitEntryPoint}, {"BootAgent", BootAgentEntryPoint}};
  sim::BootResult result = sim::PowerOnAndBoot(board, drivers);
  for (const sim::DriverLoadResult &load : result.drivers) {
    if (EFI_ERROR(load.status)) {
      std::fprintf(stderr, "bootsim: driver %s failed to load (status 0x%08X) and was unloaded\n", load.name.c_str(),
                   uint32_t(load.status));
    }
  }
  return PrintOutcome(result);
}

int New(const Options &options) {
  sim::BoardSettings settings;
  ApplyOverrides(options, &settings);
  std::string error;
  if (!sim::CreateBoardDirectory(options.directory, settings, &error)) {
    std::fprintf(stderr, "bootsim: %s\n", error.c_str());
    return kExitBoardError;
  }
  if (options.testRequestSet) {
    sim::Board board(options.directory, settings);
    board.bootFlash->Write32(TEST_REQUEST_WORD_OFFSET, options.testRequestWord);
  }
  std::printf("bootsim: new board in %s (board id %u)\n", options.directory.c_str(), settings.boardId);
  return 0;
}

}  // namespace

int main(int argc, char **argv) {
  if (argc == 3 && std::strcmp(argv[1], "health") == 0 && argv[2][0] != '-') {
    return bootsim::RunHealthCommand(argv[2]);
  }
  if (argc >= 2 && std::strcmp(argv[1], "health") == 0) return UsageError("health needs DIR");
  if (argc >= 2 && bootsim::IsFileCommand(argv[1])) {
    std::vector<std::string> args;
    for (int i = 2; i < argc; ++i) {
      if (argv[i][0] == '-' && argv[i][1] != '\0') return UsageError(std::string("unknown option ") + argv[i]);
      args.push_back(argv[i]);
    }
    return bootsim::RunFileCommand(argv[1], args);
  }
  Options options;
  int parsed = ParseArguments(argc, argv, &options);
  if (parsed >= 0) return parsed;
  if (options.command == "new") return New(options);
  return Boot(options);
}
