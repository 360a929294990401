// The pictures of the language menu: small flags drawn here with QPainter, so that the program
// ships no picture files for them and every one is sharp at any scale.
#pragma once

#include <QIcon>
#include <string_view>

namespace dravelo {

// The flag for a language code of kLanguages ("en", "ja", ...); a grey frame with the code in
// it for a code without a flag. Each picture is drawn once and shared.
QIcon languageFlag(std::string_view code);

}  // namespace dravelo
