#pragma once
// The process's Pango objects over its fontconfig configuration, rebuilt when the font data is
// reloaded. Pango font maps and contexts are not safe to use from two threads at once: they
// are used only under fontFaceMutex(), which every road to a font face takes anyway.
typedef struct _PangoContext PangoContext;
typedef struct _PangoFontMap PangoFontMap;
typedef struct _FcConfig FcConfig;
typedef struct _PangoFontDescription PangoFontDescription;

namespace dv::gfx::detail {

/// The current configuration with a reference for the caller (release with FcConfigDestroy).
FcConfig* acquireFontConfig();

/// The Pango context and font map (never null while fonts can be set up at all), for callers
/// holding fontFaceMutex().
PangoContext* sharedPangoContext();
PangoFontMap* sharedFontMap();

/// Keeps the font set of `description` for as long as the fonts are not reloaded (up to a bound
/// past which all go at once). Pango keeps only the last 256 sets it made, and a set made again
/// matches and sorts the installed fonts again, on two new threads: a board of more fonts than
/// that made them over and over. Under fontFaceMutex().
void keepFontset(const PangoFontDescription* description);

/// For tests, for the whole process: text made from now on is laid out at its own size rather
/// than at sharedLayoutSize(size).
void layOutAtOwnSizes(bool own);

} // namespace dv::gfx::detail
