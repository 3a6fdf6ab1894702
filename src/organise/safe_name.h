#pragma once

#include <string_view>

// Names taken from a DAT become file and member names; a hostile or careless
// one must never reach outside the output folder, nor make a name Windows
// cannot hold.

// True when name (folders separated by "/") is relative and every component
// is one both Linux and Windows keep as written: not empty, "." or "..", no
// control character and none of < > : " | ? * \, no trailing dot or space, no
// device name (CON, PRN, AUX, NUL, COM1-COM9, LPT1-LPT9, with any extension),
// and valid UTF-8. With folders false the name must be one component.
bool isSafeName(std::string_view name, bool folders);
