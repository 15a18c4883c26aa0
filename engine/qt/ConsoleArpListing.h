#pragma once
// Reads an ARP listing in the Windows "arp -a" form (sections "Interface:
// <IPv4> --- 0x<index>", entries "dynamic" or "static") for a game console
// that has joined the console subnet 172.22.0.0/16.

#include <QString>

namespace ConsoleArpListing {

// True when a dynamic entry whose address lies in 172.22.0.0/16 and is not
// `gateway` appears in the section of `localAddress`, in lines before the
// first section, or anywhere when `localAddress` is empty (the wired
// adapter's address is unknown).
bool showsConsole(const QString &listing, const QString &localAddress, const QString &gateway);

} // namespace ConsoleArpListing
