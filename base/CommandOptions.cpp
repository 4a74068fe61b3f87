#include "base/CommandOptions.h"

#include <getopt.h>

#include <algorithm>
#include <vector>

namespace vellum {
namespace {

// getopt_long's code for row i: above every character, so that no short letter meets one.
constexpr int kFirstRowCode = 0x100;

std::string Unknown(const std::string& word) {
  return "unknown option '" + word + "' (try --help)";
}

}  // namespace

std::string ParseOptions(std::span<const std::string> args, std::span<const OptionRow> rows,
                         const std::function<std::string(std::string_view)>& positional) {
  // getopt_long wants writable words behind argv[0]; it keeps them in their order here.
  std::vector<std::string> words;
  words.reserve(args.size() + 1);
  words.emplace_back("-");
  words.insert(words.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  const int argc = int(words.size());

  // "-": a word that is no option comes back in its place as code 1; ":": a missing value is ':'.
  std::string letters = "-:";
  std::vector<option> names;
  for (size_t i = 0; i < rows.size(); ++i) {
    const OptionRow& row = rows[i];
    names.push_back({row.name, row.values > 0 ? required_argument : no_argument, nullptr,
                     kFirstRowCode + int(i)});
    if (row.letter != 0)
      letters += row.values > 0 ? std::string{row.letter, ':'} : std::string{row.letter};
  }
  names.push_back({nullptr, 0, nullptr, 0});
  const auto rowOf = [&](int code) -> const OptionRow* {
    if (code >= kFirstRowCode && size_t(code - kFirstRowCode) < rows.size()) {
      return &rows[size_t(code - kFirstRowCode)];
    }
    const auto row = std::find_if(rows.begin(), rows.end(), [code](const OptionRow& r) {
      return r.letter != 0 && r.letter == code;
    });
    return row == rows.end() ? nullptr : &*row;
  };
  const auto missing = [](const OptionRow& row) {
    return "--" + std::string(row.name) + ": expected " + row.expected;
  };

  opterr = 0;  // the caller words the errors
  optind = 0;  // glibc starts afresh, so every call parses from the first word
  for (;;) {
    const int at = std::max(optind, 1);  // the word getopt_long looks at next
    int index = -1;
    const int code = getopt_long(argc, argv.data(), letters.c_str(), names.data(), &index);
    if (code == -1) break;
    const std::string& word = words[size_t(at)];
    std::string error;
    if (code == 1) {
      error = positional(optarg);
    } else if (code == '?') {
      const OptionRow* row = optopt != 0 ? rowOf(optopt) : nullptr;
      error = row ? "--" + std::string(row->name) + " takes no value" : Unknown(word);
    } else if (code == ':') {
      const OptionRow* row = rowOf(optopt);
      error = row ? missing(*row) : Unknown(word);
    } else if (const OptionRow* row = rowOf(code); row == nullptr) {
      error = Unknown(word);
    } else if (index >= 0 && std::string_view(word).substr(2, word.find('=') - 2) != row->name) {
      error = Unknown(word);  // an abbreviation
    } else {
      std::string_view values[2];
      size_t count = 0;
      if (row->values > 0) values[count++] = optarg;
      if (row->values > 1) {
        if (optind >= argc) return missing(*row);
        values[count++] = argv[size_t(optind++)];
      }
      error = row->apply(OptionValues(values, count));
    }
    if (!error.empty()) return error;
  }
  // The words after "--".
  for (int i = optind; i < argc; ++i) {
    const std::string error = positional(words[size_t(i)]);
    if (!error.empty()) return error;
  }
  return "";
}

}  // namespace vellum
