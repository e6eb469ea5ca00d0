#pragma once
// The process's Pango objects over its fontconfig configuration, rebuilt when the font data is
// reloaded. Pango font maps and contexts are not safe to use from two threads at once: they
// are used only under fontFaceMutex(), which every road to a font face takes anyway.
typedef struct _PangoContext PangoContext;
typedef struct _PangoFontMap PangoFontMap;
typedef struct _FcConfig FcConfig;

namespace dv::gfx::detail {

/// The current configuration with a reference for the caller (release with FcConfigDestroy).
FcConfig* acquireFontConfig();

/// The Pango context and font map (never null while fonts can be set up at all), for callers
/// holding fontFaceMutex().
PangoContext* sharedPangoContext();
PangoFontMap* sharedFontMap();

/// For tests, for the whole process: text made from now on is laid out at its own size rather
/// than at sharedLayoutSize(size).
void layOutAtOwnSizes(bool own);

} // namespace dv::gfx::detail
