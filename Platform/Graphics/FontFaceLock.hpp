#pragma once
// One lock for every call that can reach a font face.
//
// cairo's FreeType back end keeps one face per font file for the whole process, shared by every
// thread and every Pango font map, and at most ten of them open: opening an eleventh closes one
// that looks unused, without the lock of the thread that may be about to use it. Faces are
// opened on one FreeType library, whose list of faces takes no lock, and the cairo font faces
// made for a file hang on an unlocked list of that file's. Pango's per-thread font maps do not
// help: they all reach the same files. Text on several threads at once (pictures drawn in
// bands, or two pictures at once) therefore takes this lock around everything that may open,
// use, or let go of a face: laying out and shaping a line, loading a font, showing or outlining
// glyphs, and releasing a layout, a font or a font map. SVG text goes through the same faces.
#include <mutex>

namespace dv::gfx {

std::mutex& fontFaceMutex();

}  // namespace dv::gfx
