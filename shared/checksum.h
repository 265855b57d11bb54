// Record checksum shared by the server and its clients: the XOR of every
// byte of a record, taken with the checksum byte at 0. A receiver XORs all
// bytes of a record, checksum included; an intact record gives 0.
#pragma once

char checksum(const char *buff, int len);
