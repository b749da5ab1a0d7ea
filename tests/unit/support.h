// What the unit tests share: argument vectors, raised errors and a scratch directory.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "errors/uerror.h"
#include "opt/toparsing.h"

// "fieldkeep" and the words of a cell, separated by '|', as main receives them.
struct Argv {
    explicit Argv(const std::string& cell) {
        std::istringstream in("fieldkeep|" + cell);
        for (std::string word; std::getline(in, word, '|');) all.push_back(word);
        for (const std::string& w : all) pointers.push_back(w.c_str());
    }
    talvor::opt::TOParsing parse() const { return {static_cast<int>(all.size()), pointers.data()}; }
    std::vector<std::string> all;
    std::vector<const char*> pointers;
};

// The message of the option error or TUError that running f raises; "" when none.
template <typename F>
std::string raisedMessage(F&& f) {
    try {
        f();
    } catch (const talvor::TError& e) {
        return e.what();
    } catch (const fieldkeep::TUError& e) {
        return e.message;
    }
    return "";
}

// Expects f(in) == out for every row {behaviour, in, out} of a table.
template <typename In, typename Out>
using Rows = std::vector<std::tuple<const char*, In, Out>>;
using Texts = Rows<std::string, std::string>;
template <typename In, typename Out, typename F>
void expectRows(const Rows<In, Out>& rows, F&& f) {
    for (const auto& [behaviour, in, out] : rows) {
        EXPECT_EQ(f(in), out) << behaviour;
    }
}

// A directory of its own, removed with all it holds at the end of the scope.
struct Scratch {
    Scratch() { EXPECT_NE(mkdtemp(dir.data()), nullptr); }
    ~Scratch() {
        std::error_code ignored;
        std::filesystem::remove_all(dir, ignored);
    }
    std::string path(const std::string& name) const { return dir + "/" + name; }
    std::string read(const std::string& name) const {
        std::ifstream in(path(name));
        return {std::istreambuf_iterator<char>(in), {}};
    }
    std::string dir = "/tmp/fieldkeep-unit.XXXXXX";
};
