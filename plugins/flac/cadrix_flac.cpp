// The module-wide session behind cadrix_flac.so's entry points.
#include "flac_session.h"

cadrix::plugin::Session& cadrix::plugin::ModuleSession() {
    static FlacSession session;
    return session;
}
