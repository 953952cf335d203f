// Walks the FCR pair and the PAT pairs, decides which copy of each is current, and rewrites the
// chosen copy's usage counter where the decision differs from the copy that is current now.
#include "driver/repair_loop.h"

#include <cstdio>
#include <cstring>

#include "fileio/bytes.h"
#include "fileio/page_pairs.h"
#include "fileio/records.h"
#include "viewer/show_pair.h"

namespace driver {

bool AutoFixEnabled = false;
bool FileChanged = false;

namespace {

using fileio::PagePair;

constexpr uint32_t UsageCounterStep = 270;
constexpr int LeaveAlone = -1;

uint32_t pairCounters[2];
char title[80];

uint32_t PatPairCount() {
    const uint8_t* current = fileio::fcrPagePair.image[fileio::fcrPagePair.active];
    return fileio::fileFormat.version < 0x0700 ? fileio::ReadU16(current + 0x4C)
                                               : fileio::ReadU32(current + 0x4C);
}

void TakeCounters(const PagePair& pair) {
    for (int copy = 0; copy < 2; ++copy) {
        pairCounters[copy] = fileio::ReadU32(pair.image[copy] + fileio::fileFormat.usageOffset);
    }
}

// The automatic rule: copy 1 is made current wherever its counter is 0.
int AutomaticChoice() {
    if (pairCounters[1] != 0) {
        return LeaveAlone;
    }
    printf("%s\n", title);
    return 1;
}

// Gives the chosen copy the current copy's counter plus the step, in its image.
uint32_t RaiseCounter(PagePair& images, int chosen, int current) {
    uint32_t counter = pairCounters[current] + UsageCounterStep;
    pairCounters[chosen] = counter;
    fileio::WriteU32(images.image[chosen] + fileio::fileFormat.usageOffset, counter);
    return counter;
}

void FinishRewrite(int written) {
    if (!written) {
        printf("Sorry, unable to change at this time.\n");
    }
    FileChanged = true;
}

void RewriteFcr(int chosen, int current) {
    uint32_t counter = RaiseCounter(fileio::fcrPagePair, chosen, current);
    printf("Writing %lx to FCR %d\n", (unsigned long)counter, chosen);
    FinishRewrite(fileio::WriteFcrPair());
}

// Pair 0 is the FCR pair reached by stepping back, and is written as the FCR pair.
void RewritePat(uint32_t pair, int chosen) {
    int current = fileio::patPagePair.active;
    if (pair == 0) {
        RewriteFcr(chosen, current);
        return;
    }
    uint32_t counter = RaiseCounter(fileio::patPagePair, chosen, current);
    printf("Writing %lx to PAT %d in PAT Pair %d\n", (unsigned long)counter, chosen, int(pair));
    FinishRewrite(fileio::WritePatPair(pair));
}

// The FCR stage; false when the operator ends the run there.
bool RepairFcrPair() {
    TakeCounters(fileio::fcrPagePair);
    snprintf(title, sizeof title, "File Control Record Pages: (%8.8lx/%8.8lx)",
             (unsigned long)pairCounters[0], (unsigned long)pairCounters[1]);
    int chosen;
    if (AutoFixEnabled) {
        chosen = AutomaticChoice();
    } else {
        // The viewer shows the PAT page pair, so the FCR copies are put there for it.
        for (int copy = 0; copy < 2; ++copy) {
            memcpy(fileio::patPagePair.image[copy], fileio::fcrPagePair.image[copy],
                   fileio::fileFormat.fcrPageSize);
        }
        chosen = viewer::ShowPair(fileio::fcrPagePair.active, title);
        if (chosen == viewer::StepBack || chosen == viewer::Stop) {
            return false;
        }
    }
    if (chosen != LeaveAlone && chosen != fileio::fcrPagePair.active) {
        RewriteFcr(chosen, fileio::fcrPagePair.active);
    }
    return true;
}

void RepairPatPairs(uint32_t patPairCount) {
    uint32_t pair = 1;
    while (fileio::LoadPatPair(pair)) {
        TakeCounters(fileio::patPagePair);
        snprintf(title, sizeof title, "Page Allocation Table Pair %d of %d: (%8.8lx/%8.8lx)",
                 int(pair), int(patPairCount), (unsigned long)pairCounters[0],
                 (unsigned long)pairCounters[1]);
        int chosen;
        if (AutoFixEnabled) {
            chosen = AutomaticChoice();
        } else {
            chosen = viewer::ShowPair(fileio::patPagePair.active, title);
            if (chosen == viewer::Stop || (chosen == viewer::StepBack && pair == 0)) {
                return;
            }
            if (chosen == viewer::StepBack) {
                --pair;
                continue;
            }
        }
        if (chosen != LeaveAlone && chosen != fileio::patPagePair.active) {
            RewritePat(pair, chosen);
        }
        ++pair;
    }
}

}  // namespace

void RepairPairs() {
    uint32_t patPairCount = PatPairCount();
    if (RepairFcrPair()) {
        RepairPatPairs(patPairCount);
    }
}

}  // namespace driver
