// How INavilonixAutomation crosses the D-Bus session bus: its client proxy and its server stub, both expanded from
// the member table. On the bus the interface is ole.IID_9E428CC6_35AE_4899_A9BA_34CE991495D6 with one method per
// member, named as the wrapper names it (get_GroupsNum, set_GroupIndex, StartComputing, ...); the argument names
// come from the table, so introspection shows them.
#pragma once

#include "automation/Navilonix_tlb.h"
#include "platform/ole/Stub.h"

// Tells the transport how to carry IID_INavilonixAutomation. Both the console and the server call it once at
// start-up, before connecting or publishing; later calls do nothing.
void RegisterNavilonixMarshaling();

// The registered description (stub members in slot order).
const ole::InterfaceMarshaler& NavilonixMarshaler();
