// Byte strings from the disc database and the drive list, as shown on screen.
#pragma once

#include <QString>

#include <string_view>

namespace cadrix {

// UTF-8 when the bytes are valid UTF-8, else Windows-1252 (the code page the
// suite's database files were written in on Windows).
QString DecodeDiscText(std::string_view bytes);

}  // namespace cadrix
