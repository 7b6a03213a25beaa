// Reading the server's values in the windows: the texts it hands over and the properties of the connection.
#pragma once

#include "automation/Navilonix_OCX.h"
#include "forms/Main.h"
#include "platform/ole/Bstr.h"

#include <QString>

#include <string>

// The text of a string the server handed over; the string is freed here.
inline std::string Text(BSTR value) {
    return BStr(value).utf8();
}
inline QString QText(BSTR value) {
    return QString::fromStdString(Text(value));
}

// A property of the server, or an empty value when the console is not connected. The server's close event can
// arrive while an earlier call waits for its answer and empty `Automation` in the middle of a command.
template <class T> T Read(T (TNavilonixAutomation::*get)()) {
    return Automation ? (Automation->*get)() : T{};
}
inline QString ReadText(BSTR (TNavilonixAutomation::*get)()) {
    return QText(Read(get));
}
