// The automation types to and from D-Bus messages. Every value crosses the bus through these overloads:
//   long -> "i", double -> "d", BSTR -> "s" (a null string travels as empty), VARIANT -> "v".
// A VARIANT travels as a D-Bus variant holding its natural type (VT_I4 "i", VT_R8 "d", VT_BSTR "s", VT_BOOL "b",
// VT_I2 "n", VT_UI1 "y", VT_UI2 "q", VT_UI4 "u", VT_I8 "x", VT_UI8 "t"); types without one (VT_EMPTY, VT_NULL,
// VT_R4, VT_DATE, VT_ERROR, VT_I1, VT_INT, VT_UINT) travel as the struct "(qt)": the type and its raw bits.
// An array (VT_ARRAY with VT_I4, VT_R8, VT_BSTR, VT_VARIANT, VT_BOOL, VT_I2, VT_UI1, VT_UI2, VT_UI4, VT_I8 or VT_UI8
// elements) travels as a typed D-Bus array: a vector counted from 0 as "aX", any other as "(a(ui)aX)", the count
// and lower bound of each dimension in index order followed by the elements, the first index varying fastest.
// Interfaces inside a VARIANT cannot cross and are refused.
#pragma once

#include "platform/ole/Variant.h"

#include <systemd/sd-bus.h>

namespace ole {

// Each returns a negative errno on failure (EINVAL for a VARIANT that cannot travel).
int Append(sd_bus_message* m, LONG value);
int Append(sd_bus_message* m, double value);
int Append(sd_bus_message* m, BSTR value);
int Append(sd_bus_message* m, const VARIANT& value);

// Reads the next value. A string or variant read is a new allocation that the caller owns; on failure nothing is
// allocated and a negative errno is returned (ENXIO when the message holds another type).
int Read(sd_bus_message* m, LONG* value);
int Read(sd_bus_message* m, double* value);
int Read(sd_bus_message* m, BSTR* value);
int Read(sd_bus_message* m, VARIANT* value);

// The D-Bus type code of each automation type.
template <class T> struct BusType;
template <> struct BusType<LONG> { static constexpr char code = 'i'; };
template <> struct BusType<double> { static constexpr char code = 'd'; };
template <> struct BusType<BSTR> { static constexpr char code = 's'; };
template <> struct BusType<VARIANT> { static constexpr char code = 'v'; };

} // namespace ole
