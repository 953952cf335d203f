// The viewer's dialogue: chooses the layout for the pair, pages through its segments and
// returns the operator's decision.
#include "viewer/show_pair.h"

#include <algorithm>
#include <cstdint>

#include "fileio/geometry.h"
#include "fileio/records.h"
#include "platform/console_api.h"
#include "viewer/screens.h"

namespace viewer {
namespace {

enum class Layout { Raw, V8Pat, V95Pat };

constexpr uint8_t Enter = 0x0D;
constexpr uint8_t Space = 0x20;
constexpr uint8_t Escape = 0x1B;
constexpr uint8_t Backspace = 0x08;
constexpr int RawSegmentBytes = 256;

Layout ChooseLayout(const char* title) {
    uint16_t version = fileio::fileFormat.version;
    bool fcr = title[0] == 'F';
    if (version >= 0x0950 && !fcr) {
        return Layout::V95Pat;
    }
    return version < 0x0800 || fcr ? Layout::Raw : Layout::V8Pat;
}

int SegmentCount(Layout layout) {
    if (layout == Layout::Raw) {
        // A buffer holds ImageCapacity bytes; a larger FCR page size is shown up to there.
        uint32_t shown = std::min<uint32_t>(fileio::fileFormat.fcrPageSize, fileio::ImageCapacity);
        return int(shown / RawSegmentBytes);
    }
    int32_t entries = fileio::EntriesPerPatPage();
    return entries / EntriesPerSegment + (entries % EntriesPerSegment != 0 ? 1 : 0) + 1;
}

uint32_t SegmentStart(Layout layout, int segment) {
    switch (layout) {
        case Layout::Raw:
            return RawSegmentBytes * uint32_t(segment - 1);
        case Layout::V8Pat:
            return segment == 1 ? 0 : 20 + 192 * uint32_t(segment - 2);
        case Layout::V95Pat:
            return segment == 1 ? 0 : 16 + 256 * uint32_t(segment - 2);
    }
    return 0;
}

void Draw(Layout layout, int activeCopy, const char* title, int segment, int segmentCount) {
    uint32_t start = SegmentStart(layout, segment);
    const uint8_t* left = fileio::patPagePair.image[0] + start;
    const uint8_t* right = fileio::patPagePair.image[1] + start;
    switch (layout) {
        case Layout::Raw:
            DrawRawSegment(activeCopy, title, left, right, segment, segmentCount);
            break;
        case Layout::V8Pat:
            DrawV8PatSegment(activeCopy, title, left, right, segment, segmentCount);
            break;
        case Layout::V95Pat:
            DrawV95PatSegment(activeCopy, title, left, right, segment, segmentCount);
            break;
    }
}

}  // namespace

int ShowPair(int activeCopy, const char* title) {
    if (!platform::OpenConsole()) {
        return Stop;  // nothing to take a decision from
    }
    Layout layout = ChooseLayout(title);
    int segmentCount = SegmentCount(layout);
    int segment = 1;
    bool redraw = true;
    for (;;) {
        if (redraw) {
            Draw(layout, activeCopy, title, segment, segmentCount);
            redraw = false;
        }
        uint8_t key = 0;
        if (!platform::ReadConsoleKey(&key)) {
            return Stop;
        }
        switch (key) {
            case Enter:
            case Space:
                return activeCopy;
            case Escape:
                return Stop;
            case Backspace:
                return StepBack;
            case 'C':
            case 'c':
                return 1 - activeCopy;
            case 0x00:
            case platform::ExtendedKeyPrefix: {
                uint8_t code = 0;
                if (!platform::ReadConsoleKey(&code)) {
                    return Stop;
                }
                if (code == platform::PageUpCode && segment > 1) {
                    --segment;
                    redraw = true;
                } else if (code == platform::PageDownCode && segment < segmentCount) {
                    ++segment;
                    redraw = true;
                }
                break;
            }
            default:
                break;  // every other key is ignored without a word
        }
    }
}

}  // namespace viewer
