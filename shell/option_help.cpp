#include "shell/option_help.h"

#include <algorithm>

namespace korvex {

namespace {

constexpr std::size_t kWidth = 100;
constexpr std::size_t kMaxNameColumn = 30;

constexpr OptionHelp kSharedSimOptions[] = {
    {"--sim-chip", "MAIN:EXT[,page=P,block=KIB,spare=S,blocks=N]",
     "the NAND chip on every simulated board: one the simulator emulates, or any chip with "
     "these IDs and this geometry (page and spare bytes, block KiB, blocks)",
     "ECD3:589551, 2048-byte pages"},
    {"--sim-fault", "[PORT:]PLAN",
     "faults of every simulated board, or of the board on PORT (1..8): unplug-after=N, "
     "unplug-at-page=P, fail-request=N[@K], hang-after=N, bad=B;B, program-fail=B;B, "
     "random-bad=N, seed=S, corrupt-page=P, short-write=N, short-read=N; may be given again",
     "none"},
    {"--sim-event", "TIME:ACTION:PORT",
     "a scripted pull or plug: TIME as 500ms or 5s from the start, ACTION unplug, plug (the same "
     "board again) or plug-new (a blank one); may be given again",
     "none"},
    {"--sim-bad-blocks", "B,B...", "factory bad physical blocks of every simulated board", "none"},
    {"--sim-seed", "S", "seed of the bad blocks that random-bad=N draws", "1"},
    {"--sim-timing", "",
     "USB and NAND timing model: exchanges take wall-clock time and the station's settle waits "
     "are slept",
     "off: boards answer at memory speed and settle waits take no time"},
};

std::string Head(const OptionHelp& option) {
  std::string head(option.name);
  if (!option.value.empty()) {
    head += ' ';
    head += option.value;
  }
  return head;
}

// Appends text wrapped at kWidth, continuation lines indented to `indent`.
void AppendWrapped(std::string& out, std::string_view text, std::size_t column, std::size_t indent) {
  while (!text.empty()) {
    std::size_t take = text.size();
    if (column + take > kWidth) {
      const std::size_t room = kWidth > column ? kWidth - column : 1;
      const std::size_t space = text.substr(0, room + 1).rfind(' ');
      take = space == std::string_view::npos || space == 0 ? std::min(room, text.size()) : space;
    }
    out.append(text.substr(0, take));
    text.remove_prefix(take);
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    if (!text.empty()) {
      out += '\n';
      out.append(indent, ' ');
      column = indent;
    }
  }
}

}  // namespace

std::string FormatOptionHelp(std::span<const OptionHelp> options) {
  std::size_t column = 0;
  for (const OptionHelp& option : options) {
    column = std::max(column, std::min(Head(option).size(), kMaxNameColumn));
  }
  column += 4;  // two before the name, two after
  std::string out;
  for (const OptionHelp& option : options) {
    std::string line = "  " + Head(option);
    if (line.size() + 2 > column) {
      out += line + '\n';
      line.clear();
    }
    line.resize(column, ' ');
    out += line;
    std::string text(option.description);
    if (!option.byDefault.empty()) text += " (default: " + std::string(option.byDefault) + ")";
    AppendWrapped(out, text, column, column);
    out += '\n';
  }
  return out;
}

std::string WrapParagraph(std::string_view text) {
  std::string out;
  AppendWrapped(out, text, 0, 0);
  return out + '\n';
}

std::vector<OptionHelp> SimOptionHelp(const sim::SimOptionParser& parser, const OptionHelp& boards,
                                      const OptionHelp& model) {
  std::vector<OptionHelp> help;
  for (const sim::SimOption& option : parser.Options()) {
    if (option.name == boards.name) {
      help.push_back(boards);
    } else if (option.name == model.name) {
      help.push_back(model);
    } else {
      const auto shared = std::ranges::find(kSharedSimOptions, option.name, &OptionHelp::name);
      help.push_back(shared != std::end(kSharedSimOptions)
                         ? *shared
                         : OptionHelp{option.name, option.takesValue ? "VALUE" : "",
                                      kUndocumentedOption, ""});
    }
  }
  return help;
}

}  // namespace korvex
