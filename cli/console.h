#pragma once
// Everything the console does differently on POSIX and on Windows, in one place: the
// console's streams (UTF-8 out, whether one is a terminal, its width, redrawing in
// place), Ctrl-C and its kin, the arguments, the program's folder, a folder's write
// permission and how the process ends. cli/posix/console.cpp and
// cli/win32/console.cpp are its two sides; nothing else in cli/ asks the platform.

#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

namespace korvex::cli {

enum class ConsoleStream { kOut, kErr };

// Once, before anything is printed: stdout and stderr carry UTF-8 (to a console as
// its own characters, to a file or pipe as bytes). Returns the arguments as UTF-8.
std::vector<std::string> PrepareConsole(int argc, char** argv);

bool IsTerminal(ConsoleStream stream);
// A terminal on stdout that moves its cursor on escape sequences, so the live table
// can be redrawn in place; false for files and pipes, and for a console that cannot.
bool CanRedrawInPlace();
struct TerminalSize {
  std::size_t columns = 100;
  std::size_t rows = 40;
};
// stdout's terminal size; the defaults when it is not a terminal or will not say.
TerminalSize StdoutTerminalSize();
// Colour on stdout: a terminal that takes escape sequences, and NO_COLOR unset or empty.
bool ColourWanted();

// From now on Ctrl-C, Ctrl-Break, SIGTERM and closing the console window only set
// Interrupted(); the run then closes as it would after Ctrl-C. A console window being
// closed waits for EndProcess (the system allows it a few seconds).
void CatchInterrupts();
bool Interrupted();

// The folder of the running program.
std::filesystem::path ProgramFolder(const char* argv0);
bool FolderWritable(const std::filesystem::path& folder);

// Flushes stdout and stderr and ends the process with code, also while a worker is
// still blocked on its device.
[[noreturn]] void EndProcess(int code);

}  // namespace korvex::cli
