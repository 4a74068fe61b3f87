#pragma once
// The command-line grammar vellum and vellum-tablet share, over getopt_long: "--name value" and
// "--name=value" alike, a short letter where a row gives one, "--" ends the options. A program
// lists its options as rows; which options go together it checks itself, after the parse.
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vellum {

// The values an option was given: none, one, or two for "--name A B".
using OptionValues = std::span<const std::string_view>;

struct OptionRow {
  const char* name;      // without the leading "--"
  int values;            // 0, 1, or 2 (the second is the next word: "--range X Y")
  const char* expected;  // what the values look like, for "--name: expected ..."
  std::function<std::string(OptionValues)> apply;  // "" or a one-line error
  char letter = 0;                                 // a short form ("-h"), 0 for none
};

// Parses `args` (without the program's name) against `rows`. Every word that is no option goes
// to `positional` in its place. Returns "" or the first error as one line. Names must be given
// whole: a prefix that means one option today would mean another once a longer one is added.
std::string ParseOptions(std::span<const std::string> args, std::span<const OptionRow> rows,
                         const std::function<std::string(std::string_view)>& positional);

// A program's table of options: each row with its lines of --help and what it sets in Options.
// Adding an option is adding a row (and a field to set).
template <typename Options>
struct OptionSpec {
  const char* name;
  int values;
  const char* expected;
  const char* help;
  std::string (*set)(Options&, OptionValues);
  char letter = 0;
};

template <typename Options>
std::string ParseOptions(std::span<const std::string> args,
                         std::span<const OptionSpec<Options>> table, Options& options,
                         const std::function<std::string(std::string_view)>& positional) {
  std::vector<OptionRow> rows;
  for (const OptionSpec<Options>& spec : table) {
    rows.push_back({spec.name, spec.values, spec.expected,
                    [&options, set = spec.set](OptionValues v) { return set(options, v); },
                    spec.letter});
  }
  return ParseOptions(args, rows, positional);
}

// The table's lines of --help, in its order.
template <typename Options>
std::string OptionsHelp(std::span<const OptionSpec<Options>> table) {
  std::string text;
  for (const OptionSpec<Options>& spec : table) text += spec.help;
  return text;
}

}  // namespace vellum
