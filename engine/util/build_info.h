// What the build says about the program: its version (the project's version
// in the build files, one number for the About box, the rip logs and the
// services) and the contact it gives the online services.
#pragma once

#include <string>
#include <string_view>

namespace cadrix {

// "0.1.0".
std::string_view ClientVersion();
// The project's page or address, as set when the program was built.
std::string_view ClientContact();
// "Cadrix/<version> ( <contact> )": what every request to an online service
// carries, in the form MusicBrainz asks for.
std::string ClientUserAgent();

}  // namespace cadrix
