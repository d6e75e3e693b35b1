// The module-wide session behind cadrix_wma.so's entry points.
#include "wma_session.h"

cadrix::plugin::Session& cadrix::plugin::ModuleSession() {
    static WmaSession session(WmaPlatform::System());
    return session;
}
