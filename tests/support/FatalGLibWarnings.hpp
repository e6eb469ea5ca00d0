#pragma once
#include <glib.h>

namespace dv::test {

/// GLib warnings (Pango's complaints about text it cannot take) fail the test run.
inline const bool glibWarningsAreFatal = [] {
    g_log_set_always_fatal(GLogLevelFlags(G_LOG_LEVEL_WARNING | G_LOG_LEVEL_CRITICAL));
    return true;
}();

} // namespace dv::test
