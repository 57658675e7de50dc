#pragma once
// Option help both shells print: one entry per option with its value, what it does
// and what holds without it. The simulator's options are described once here for
// korvex and korvex.exe alike, each shell naming its board-count and model options.

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "sim/sim_options.h"

namespace korvex {

struct OptionHelp {
  std::string_view name;         // "--sim-chip"
  std::string_view value;        // "MAIN:EXT"; empty for a flag
  std::string_view description;
  std::string_view byDefault;    // what holds without the option; empty when nothing does
};

// "  --sim-chip MAIN:EXT  the NAND chip ... (default: ECD3:589551)", one entry after
// another, descriptions aligned and wrapped at 100 columns.
std::string FormatOptionHelp(std::span<const OptionHelp> options);

// text wrapped at 100 columns, ending in a newline.
std::string WrapParagraph(std::string_view text);

// The simulator's options in the parser's order. The shell describes its own count and
// model options; an option without a description here reads "(undocumented)".
std::vector<OptionHelp> SimOptionHelp(const sim::SimOptionParser& parser, const OptionHelp& boards,
                                      const OptionHelp& model);

inline constexpr std::string_view kUndocumentedOption = "(undocumented)";

}  // namespace korvex
