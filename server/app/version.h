// Version numbers of the server, its protocol and the map files it reads.
// Single-precision on purpose: version prints 0.1f widened to double,
// and a map's version is compared after rounding to float.
#pragma once

extern const float fversion;    // server version, answer to version
extern const float netpro;      // protocol version, answer to protocolversion
extern const float fileversion; // the only map file version accepted
