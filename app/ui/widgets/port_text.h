// Port numbers as the dialogs take them from an edit: a decimal number 1..65535; any other
// text is refused with the platform's conversion message.
#pragma once

#include <QString>
#include <cstdint>

bool ParsePort(const QString& text, std::int32_t& port);
// "'<text>' is not a valid integer value".
void ShowNotAValidInteger(const QString& text);
