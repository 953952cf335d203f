// The three screen layouts of the pair viewer and the glyphs of PAT entry types. Each drawing
// writes one whole screen of the two copies side by side.
#pragma once

#include <cstdint>

namespace viewer {

// The fixed 68-character banner that opens every screen; the file's version follows it.
inline constexpr const char* Banner =
    "  ORVANE  PAT usage counter repair for Btrieve files    file format ";

// PAT entries shown on one entry segment: two to a row, sixteen rows.
inline constexpr int EntriesPerSegment = 32;

// Each takes the current copy (0 or 1), the pair title, where the segment starts in the left
// and right copies, the segment number (from 1) and the segment count.
void DrawRawSegment(int activeCopy, const char* title, const uint8_t* left, const uint8_t* right,
                    int segment, int segmentCount);
void DrawV8PatSegment(int activeCopy, const char* title, const uint8_t* left, const uint8_t* right,
                      int segment, int segmentCount);
void DrawV95PatSegment(int activeCopy, const char* title, const uint8_t* left, const uint8_t* right,
                       int segment, int segmentCount);

// The character that stands for an entry type: from one byte (pages below 8.00, shown raw)
// and from the 16-bit type word of 8.x and later entries.
char EntryGlyph(uint8_t type);
char EntryGlyphWord(uint16_t type);

}  // namespace viewer
