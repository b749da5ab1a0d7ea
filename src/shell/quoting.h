// Every variable piece of a remote command line travels as one single-quoted
// shell word.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace fieldkeep {

// 'TEXT' with each single quote written as '\'' : the remote shell reads the
// result as exactly one word holding TEXT, whatever bytes it contains.
std::string shellQuote(const std::string& text);

// TEXT as it is when none of its bytes means anything to the shell (letters,
// digits and _+-./,:%), else shellQuote(TEXT): the same one word, easier to read
// in a generated file.
std::string shellWord(const std::string& text);

// Each text as shellWord makes it, joined by blanks.
std::string shellWords(const std::vector<std::string>& texts);

// A value for a placeholder @NAME@ of a line or script template.
using ShellWord = std::pair<std::string_view, std::string>;
// Shell text for a placeholder @NAME@, composed from shell words already.
using ShellText = std::pair<std::string_view, std::string>;

// The template with each @NAME@ of a listed word replaced by shellQuote of its
// value and each @NAME@ of a listed text by the text as it is, in one pass: the
// inserted words and texts are not searched again, so that no value can hold a
// placeholder that a later replacement would find, and an @ that starts no
// listed name stays as it is. Lets a composed line or generated script be
// written as the shell text it is.
std::string fillShellTemplate(std::string_view text, const std::vector<ShellWord>& words,
                              const std::vector<ShellText>& texts = {});

// "COMMAND <<'END'", a line feed, text and the line "END": text on the
// command's standard input, byte for byte, with a line feed added when it does
// not end in one. END is a word that no line of text equals, so that no text
// can end the document early and be read as commands.
std::string hereDocument(const std::string& command, const std::string& text);

}  // namespace fieldkeep
