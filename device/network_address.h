// What a line's name stands for, by the one table of line kinds
// (line_schemes.cpp): whether it names a line behind a serial device server
// rather than a port on this machine, for the callers that treat the two
// differently (following a lost line, listing entries, the words for them),
// and what is wrong with a name that cannot be opened at all.
#pragma once

#include <string>

// True for "tcp://HOST:PORT" and "rfc2217://HOST:PORT": a line behind a
// serial device server, reached over the network.
bool IsNetworkAddress(const std::string& name);

// What is wrong with a line's name before anything is opened, in words that
// follow the name; empty when it can be tried. A scheme no kind of line has
// ("ssh://host:22 ... is no kind of line here: write a device path,
// tcp://HOST:PORT or rfc2217://HOST:PORT"), or a network address that cannot
// be one (NetworkAddressProblem). For those who refuse such a name before
// opening any line (dimlet-cli, Ports…); opening it fails in the same words.
std::string LineNameProblem(const std::string& name);

// What is wrong with `address`, one IsNetworkAddress() takes, in words that
// follow the address ("the port must be a number from 1 to 65535", "no
// closing ] after the IPv6 address"); empty when it can be tried. The one
// check that opening a network line makes, for those who refuse such an
// address before anything is opened (dimlet-cli, Ports…).
std::string NetworkAddressProblem(const std::string& address);

// `text` (an address, a host name) as a message shows it: whole up to 80
// bytes, else its start and end around "…", so that a name of any length
// cannot fill a message.
std::string ShownAddress(const std::string& text);
