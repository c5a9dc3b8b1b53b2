#pragma once
// Hands back the pages of the program's own code that only the start ran. The kernel maps
// 64 kB of the executable around every page fault, so a start that runs code from all over
// it leaves most of the file resident for the window's whole life, though an idle window
// runs a small part of it. Unmapping the executable's code pages (the file stays in the
// page cache) lets the window map back only what it runs next, as a page fault each.

#include <cstddef>
#include <string>
#include <vector>

namespace zorvane::work {

// Unmaps the resident pages of the executable's read-only mappings (its code, its constants)
// that are backed by the file only: no page of them written, so nothing can be lost. Its
// relocated and writable data and the libraries are left alone. Returns the number of
// kilobytes that were resident in the mappings it unmapped; 0 where the system offers no
// way (outside Linux) or nothing qualified.
std::size_t releaseStartCode();

// The same for this process's mappings of the file at `path`: private, not writable, every
// page the file's. For a file read through a mapping only now and then, such as a font
// face whose glyphs are cached once drawn.
std::size_t releaseMappingsOf(const std::string& path);
// The same for several files at once, in one reading of what is mapped.
std::size_t releaseMappingsOf(const std::vector<std::string>& paths);

// The running executable's path; empty where it cannot be read.
std::string executablePath();

// The font files (.ttf, .ttc, .otf, .otc, .pfb; any case) this process has mapped, each once.
// FreeType reads a face through a mapping of its file, and the start's drawing leaves the
// pages of every glyph and table it read resident, 64 kB around each; once drawn, glyphs
// come from Qt's cache.
std::vector<std::string> mappedFontFiles();

} // namespace zorvane::work
