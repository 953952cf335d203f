// Expected viewer screens for tests, put together from the literal texts of each screen part.
// Rows are written with '|' for the frame's vertical bar.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace expected {

inline const std::string Banner =
    "  ORVANE  PAT usage counter repair for Btrieve files    file format ";

inline const char* NextHint = "Press <PgDn> to see the next segment.\n";
inline const char* PreviousHint = "Press <PgUp> to see the previous segment.\n";
inline const char* BothHint = "Press <PgDn> or <PgUp> to see other segments.\n";

// A framed row from the text between the bars, padded on the right to the 75 inner columns.
inline std::string Row(const std::string& inner) {
    EXPECT_LE(inner.size(), 75u) << "expected row too wide: " << inner;
    std::string padded = inner + std::string(75 - std::min<size_t>(inner.size(), 75), ' ');
    return "\xB3" + padded + "\xB3\n";
}

inline std::string Blank() {
    return Row("");
}

inline std::vector<std::string> Repeat(const std::string& row, int count) {
    return std::vector<std::string>(size_t(count), row);
}

inline std::vector<std::string> Join(std::initializer_list<std::vector<std::string>> parts) {
    std::vector<std::string> rows;
    for (const auto& part : parts) {
        rows.insert(rows.end(), part.begin(), part.end());
    }
    return rows;
}

// The title block: banner, version, empty line, position and pair title.
inline std::string TitleBlock(const std::string& version, const std::string& position,
                              const std::string& title) {
    return Banner + "(" + version + ")\r\n\r\n(" + position + ") " + title + "\r\n";
}

inline std::string Screen(const std::string& titleBlock, const std::vector<std::string>& rows,
                          const char* hint) {
    std::string screen = titleBlock + "\xDA" + std::string(75, '\xC4') + "\xBF\r\n";
    for (const std::string& row : rows) {
        screen += row;
    }
    screen += "\xC0" + std::string(75, '\xC4') + "\xD9\r\n";
    screen += "\nPress <C> to change the active page, else press <Enter> or <Space>\n";
    return screen + hint;
}

// Line i of a screen, without its line end.
inline std::string Line(const std::string& screen, int index) {
    size_t begin = 0;
    for (int i = 0; i < index; ++i) {
        begin = screen.find('\n', begin) + 1;
    }
    size_t end = screen.find('\n', begin);
    std::string line = screen.substr(begin, end - begin);
    if (!line.empty() && line.back() == '\r') {
        line.pop_back();
    }
    return line;
}

}  // namespace expected
