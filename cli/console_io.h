#pragma once
// What the console asks of the terminal and the process around it, in one place:
// whether a stream is a terminal, its size, whether colour is wanted, and Ctrl-C or
// SIGTERM. Everything else in cli/ asks here, so another platform's console has one
// file to supply.

#include <cstddef>

namespace korvex::cli {

enum class Stream { Out, Err };

bool IsTerminal(Stream stream);

struct TerminalSize {
  std::size_t columns = 100;
  std::size_t rows = 40;
};
// stdout's terminal size; the defaults when it is not a terminal or will not say.
TerminalSize StdoutTerminalSize();

// Colour on stdout: a terminal, and NO_COLOR unset or empty.
bool ColourWanted();

// Ctrl-C and SIGTERM from now on only set a flag that Interrupted() reads.
void CatchInterrupts();
bool Interrupted();

}  // namespace korvex::cli
