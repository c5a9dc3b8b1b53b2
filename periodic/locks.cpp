#include "periodic/locks.h"

namespace zorvane::periodic {

Section createSection(SectionList& sections) {
    return &sections.emplace_back();
}

void enterSection(Section section) {
    if (section) {
        section->lock();
    }
}

void leaveSection(Section section) {
    if (section) {
        section->unlock();
    }
}

} // namespace zorvane::periodic
