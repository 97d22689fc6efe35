#pragma once

// Where the send announcement travels on the session bus: a broadcast signal whose one
// argument is an a{sv} dictionary with "input" (s), "activate" (b) and "hostPid" (i).
namespace dbus_send {

inline constexpr char kObjectPath[] = "/com/lumivo/affinity_8bf";
inline constexpr char kInterface[] = "com.lumivo.affinity_8bf";
inline constexpr char kMember[] = "send";

}  // namespace dbus_send
