// The answers of a message box: the wrapper's failure prompt and the console's boxes return these.
#pragma once

constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDYES = 6;
constexpr int IDNO = 7;
