// Screen layouts of the pair viewer: raw hex bytes, and the 8.x and 9.50 PAT pages with their
// decoded headers and entries. A screen is built in memory and written in one piece.
#include "viewer/screens.h"

#include <cstdarg>
#include <cstdio>
#include <string>

#include "fileio/bytes.h"
#include "fileio/geometry.h"
#include "fileio/records.h"
#include "platform/console_api.h"

namespace viewer {
namespace {

using fileio::ReadU16;
using fileio::ReadU32;

// Code page 437 frame bytes.
constexpr char Bar = '\xB3';
constexpr char Line = '\xC4';
constexpr char TopLeft = '\xDA';
constexpr char TopRight = '\xBF';
constexpr char BottomLeft = '\xC0';
constexpr char BottomRight = '\xD9';

constexpr int InnerWidth = 75;
constexpr int RowsPerSegment = 16;

class Screen {
public:
    void Add(const char* format, ...) __attribute__((format(printf, 2, 3))) {
        va_list args;
        va_start(args, format);
        AddV(format, args);
        va_end(args);
    }

    // A whole framed row: the bar, the formatted text, the bar.
    void Row(const char* format, ...) __attribute__((format(printf, 2, 3))) {
        BeginRow();
        va_list args;
        va_start(args, format);
        AddV(format, args);
        va_end(args);
        EndRow();
    }

    void BeginRow() { text += Bar; }
    void EndRow() {
        text += Bar;
        text += '\n';
    }
    void BlankRow() { Row("%75s", " "); }

    void HexBytes(const uint8_t* bytes, int count) {
        for (int i = 0; i < count; ++i) {
            Add("%2.2x", bytes[i]);
        }
    }

    void FrameLine(char left, char right) {
        text += left;
        text.append(InnerWidth, Line);
        text += right;
        text += "\r\n";
    }

    void Write() const { platform::WriteScreen(text.data(), text.size()); }

private:
    void AddV(const char* format, va_list args) {
        va_list again;
        va_copy(again, args);
        int length = vsnprintf(nullptr, 0, format, args);
        size_t end = text.size();
        text.resize(end + size_t(length) + 1);
        vsnprintf(&text[end], size_t(length) + 1, format, again);
        va_end(again);
        text.resize(end + size_t(length));
    }

    std::string text;
};

unsigned long U32(const uint8_t* page, int offset) {
    return (unsigned long)ReadU32(page + offset);
}
uint16_t U16(const uint8_t* page, int offset) {
    return ReadU16(page + offset);
}

void TitleBlock(Screen& screen, const char* title, int segment, int segmentCount) {
    uint16_t version = fileio::fileFormat.version;
    if (version == 0x0D30) {
        screen.Add("%s(16.00)\r\n\r\n(%d of %d) %s\r\n", Banner, segment, segmentCount, title);
    } else {
        screen.Add("%s(%d.%.2x)\r\n\r\n(%d of %d) %s\r\n", Banner, version >> 8, version & 0xFF,
                   segment, segmentCount, title);
    }
    screen.FrameLine(TopLeft, TopRight);
}

void CloseAndWrite(Screen& screen, int segment, int segmentCount) {
    screen.FrameLine(BottomLeft, BottomRight);
    screen.Add("\nPress <C> to change the active page, else press <Enter> or <Space>\n");
    if (segment == 1) {
        screen.Add("Press <PgDn> to see the next segment.\n");
    } else if (segment == segmentCount) {
        screen.Add("Press <PgUp> to see the previous segment.\n");
    } else {
        screen.Add("Press <PgDn> or <PgUp> to see other segments.\n");
    }
    screen.Write();
}

const char* Marker(int activeCopy) {
    return activeCopy == 1 ? ">" : "<";
}

// On an entry segment, whether row i lies past the last entry; only its first entry counts.
bool RowIsPastEntries(int segment, int row, int32_t entries) {
    return EntriesPerSegment * (segment - 2) + 2 * row >= entries;
}

void RawGlyphs(Screen& screen, bool fcr, const uint8_t* row) {
    if (fcr) {
        screen.Add("....");
        return;
    }
    for (int i = 1; i < 16; i += 4) {
        screen.Add("%c", EntryGlyph(row[i]));
    }
}

void V8HeaderFields(Screen& screen, const uint8_t* page) {
    screen.Row("Logical Page Number: %.8lX%46s", U32(page, 0), " ");
    screen.Row("     Page Type Code: %.4hX%50s", U16(page, 4), " ");
    screen.Row("        Usage Count: %.8lX%46s", U32(page, 6), " ");
    // Bytes 10 and 11 are the only header bytes that no other row shows.
    screen.Row("        Entry Count: %.4hX%50s", U16(page, 10), " ");
    screen.Row("         Free Count: %.8lX%46s", U32(page, 12), " ");
    screen.Row(" Largest Free Block: %.8lX%46s", U32(page, 16), " ");
}

void V8Entries(Screen& screen, int activeCopy, const uint8_t* left, const uint8_t* right,
               int segment) {
    int32_t entries = fileio::EntriesPerPatPage();
    for (int row = 0; row < RowsPerSegment; ++row) {
        if (RowIsPastEntries(segment, row, entries)) {
            screen.BlankRow();
            continue;
        }
        const uint8_t* l = left + 12 * row;
        const uint8_t* r = right + 12 * row;
        screen.BeginRow();
        screen.Add("   ");
        screen.HexBytes(l, 6);
        screen.Add(" ");
        screen.HexBytes(l + 6, 6);
        screen.Add("  %c %c    %s    ", EntryGlyphWord(ReadU16(l + 4)),
                   EntryGlyphWord(ReadU16(l + 10)), Marker(activeCopy));
        screen.HexBytes(r, 6);
        screen.Add(" ");
        screen.HexBytes(r + 6, 6);
        screen.Add("  %c %c   ", EntryGlyphWord(ReadU16(r + 4)), EntryGlyphWord(ReadU16(r + 10)));
        screen.EndRow();
    }
}

// The page ID without its top byte, of which "%.4hX" shows the low 16 bits.
uint16_t PairNumber(const uint8_t* page) {
    return uint16_t(ReadU32(page) & 0x00FFFFFF);
}

const char* Flag(const uint8_t* page, uint8_t mask, const char* name) {
    return (page[6] & mask) != 0 ? name : " ";
}

void V95Header(Screen& screen, const uint8_t* left, const uint8_t* right) {
    screen.BlankRow();
    screen.Row("  %-35s%35s   ", "LEFT HAND PAT PAGE HEADER", "RIGHT HAND PAT PAGE HEADER");
    screen.BlankRow();
    screen.Row("  PAT Pair Number: %.4hX%23sPAT Pair Number: %.4hX        ", PairNumber(left), " ",
               PairNumber(right));
    screen.Row("  Logical Page ID: 0x%.8lX%17sLogical Page ID: 0x%.8lx  ", U32(left, 0), " ",
               U32(right, 0));
    screen.Row("   Page Type Code: 0x%.4hX%22sPage Type Code: 0x%.4hX      ", U16(left, 4), " ",
               U16(right, 4));
    screen.Row("       Page Flags: 0x%.4hX%26sPage Flags: 0x%.4hX      ", U16(left, 6), " ",
               U16(right, 6));
    screen.Row("                   %-44s%-12s", Flag(left, 0x01, "Compressed"),
               Flag(right, 0x01, "Compressed"));
    screen.Row("                   %-44s%-12s", Flag(left, 0x02, "Encrypted"),
               Flag(right, 0x02, "Encrypted"));
    screen.BlankRow();
    screen.Row("      Usage Count: 0x%.8lX%21sUsage Count: 0x%.8lX  ", U32(left, 8), " ",
               U32(right, 8));
    screen.Row("     Unused Bytes: 0x%.8lX%20sUnused Bytes: 0x%.8lX  ", U32(left, 12), " ",
               U32(right, 12));
    for (int i = 0; i < 5; ++i) {
        screen.BlankRow();
    }
}

void V95Entries(Screen& screen, int activeCopy, const uint8_t* left, const uint8_t* right,
                int segment) {
    int32_t entries = fileio::EntriesPerPatPage();
    const char* marker = activeCopy == 1 ? " > " : " < ";
    for (int row = 0; row < RowsPerSegment; ++row) {
        if (RowIsPastEntries(segment, row, entries)) {
            screen.BlankRow();
            continue;
        }
        const uint8_t* l = left + 16 * row;
        const uint8_t* r = right + 16 * row;
        screen.BeginRow();
        screen.HexBytes(l, 8);
        screen.Add(" ");
        screen.HexBytes(l + 8, 8);
        screen.Add(" %c%c%s", EntryGlyphWord(ReadU16(l + 4)), EntryGlyphWord(ReadU16(l + 12)),
                   marker);
        screen.HexBytes(r, 8);
        screen.Add(" ");
        screen.HexBytes(r + 8, 8);
        screen.Add(" %c%c", EntryGlyphWord(ReadU16(r + 4)), EntryGlyphWord(ReadU16(r + 12)));
        screen.EndRow();
    }
}

}  // namespace

void DrawRawSegment(int activeCopy, const char* title, const uint8_t* left, const uint8_t* right,
                    int segment, int segmentCount) {
    Screen screen;
    TitleBlock(screen, title, segment, segmentCount);
    bool fcr = title[0] == 'F';
    for (int row = 0; row < RowsPerSegment; ++row) {
        const uint8_t* l = left + 16 * row;
        const uint8_t* r = right + 16 * row;
        screen.BeginRow();
        screen.HexBytes(l, 16);
        screen.Add(" ");
        RawGlyphs(screen, fcr, l);
        screen.Add("%s", Marker(activeCopy));
        screen.HexBytes(r, 16);
        screen.Add(" ");
        RawGlyphs(screen, fcr, r);
        screen.EndRow();
    }
    CloseAndWrite(screen, segment, segmentCount);
}

void DrawV8PatSegment(int activeCopy, const char* title, const uint8_t* left, const uint8_t* right,
                      int segment, int segmentCount) {
    Screen screen;
    TitleBlock(screen, title, segment, segmentCount);
    if (segment == 1) {
        screen.BlankRow();
        screen.Row(" LEFT HAND PAT PAGE HEADER%49s", " ");
        V8HeaderFields(screen, left);
        screen.BlankRow();
        screen.Row(" RIGHT HAND PAT PAGE HEADER%48s", " ");
        V8HeaderFields(screen, right);
    } else {
        V8Entries(screen, activeCopy, left, right, segment);
    }
    CloseAndWrite(screen, segment, segmentCount);
}

void DrawV95PatSegment(int activeCopy, const char* title, const uint8_t* left, const uint8_t* right,
                       int segment, int segmentCount) {
    Screen screen;
    TitleBlock(screen, title, segment, segmentCount);
    if (segment == 1) {
        V95Header(screen, left, right);
    } else {
        V95Entries(screen, activeCopy, left, right, segment);
    }
    CloseAndWrite(screen, segment, segmentCount);
}

char EntryGlyph(uint8_t type) {
    if (type >= 0x80) {
        return 'I';
    }
    switch (type) {
        case 0x00:
            return ' ';
        case 'A':
        case 'D':
        case 'E':
        case 'V':
            return char(type);
        default:
            return '?';
    }
}

char EntryGlyphWord(uint16_t type) {
    if (type >= 0x8000) {
        return 'I';
    }
    if (type == 0x4544) {
        return 'd';
    }
    switch (type) {
        case 0x0000:
            return ' ';
        case 'A':
        case 'D':
        case 'E':
        case 'V':
            return char(type);
        default:
            return '?';  // 0x0080 to 0x00FF too: only the word's top bit means "I"
    }
}

}  // namespace viewer
