// XOR checksum of the wire records.
#include "checksum.h"

char checksum(const char *buff, int len)
{
    char sum = 0;
    for (int i = 0; i < len; i++)
        sum ^= buff[i];
    return sum;
}
