// The module-wide session behind cadrix_ogg.so's entry points.
#include "ogg_session.h"

cadrix::plugin::Session& cadrix::plugin::ModuleSession() {
    static OggSession session;
    return session;
}
