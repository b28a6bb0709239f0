// The help fitted to the terminal: option descriptions wrap in whole words
// under their column and the footer's paragraphs to the width, instead of
// the terminal breaking words at its edge.
#pragma once

#include <CLI/CLI.hpp>

#include <cstddef>
#include <string>

// Gives `app` (and the subcommands added after) a help fitted to `columns`
// display cells, and `footer` wrapped to them; 0 leaves the text as written.
void FitHelp(CLI::App& app, const std::string& footer, size_t columns);

// `text`'s paragraphs (parted by an empty line) each in lines of at most
// `columns` cells; 0 leaves it as it is.
std::string WrapParagraphs(const std::string& text, size_t columns);
