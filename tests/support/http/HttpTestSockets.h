#pragma once
// The server's own connection sockets, which cpp-httplib keeps to itself: found among the
// process's descriptors by their ports, for faults and for a prompt stop.

namespace LumoraTest::HttpTestSockets {

// Resets the connection from remotePort to the server on localPort: RST, not FIN. A zero linger
// time makes a close send RST, but cpp-httplib shuts a socket down (FIN) before it closes it, so the
// socket is closed here, by putting an unconnected one in its place: the descriptor stays valid for
// the server to close later.
void reset(int localPort, int remotePort);

// Lets the listening socket on port queue backlog connections. cpp-httplib listens with a queue
// of five: a client that opens a dozen connections at once would find the rest dropped, and its
// system would try them again only a second later.
void widenBacklog(int port, int backlog);

// Shuts down every connection of the server on localPort (the descriptors stay open). A stopping
// server's threads would otherwise wait out the keep-alive time-out on connections that clients
// keep for later.
void shutdownAll(int localPort);

} // namespace LumoraTest::HttpTestSockets
