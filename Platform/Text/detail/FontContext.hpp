#pragma once
// Per-thread Pango objects over the process's fontconfig configuration. Pango font maps and
// contexts are not safe to share between threads, so every thread keeps its own, rebuilt when
// the font data is reloaded.
typedef struct _PangoContext PangoContext;
typedef struct _PangoFontMap PangoFontMap;
typedef struct _FcConfig FcConfig;

namespace dv::gfx::detail {

/// The current configuration with a reference for the caller (release with FcConfigDestroy).
FcConfig* acquireFontConfig();

/// This thread's Pango context (never null while fonts can be set up at all); both are for
/// callers holding fontFaceMutex().
PangoContext* threadPangoContext();
PangoFontMap* threadFontMap();

} // namespace dv::gfx::detail
