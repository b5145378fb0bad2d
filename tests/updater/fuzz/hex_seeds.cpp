#include <cstdio>
#include <string>
#include <vector>

std::vector<std::string> FuzzSeeds()
{
    std::string big;
    for (unsigned a = 0; a < 0xF000; a += 0x400) {
        char line[64];
        std::snprintf(line, sizeof line, ":10%04X00000102030405060708090A0B0C0D0E0F00\r\n", a);
        big += line;
    }
    return {
        "",
        ":00000001FF\n",
        ":020000040000FA\n:10000000000102030405060708090A0B0C0D0E0F78\n:00000001FF\n",
        ":01EFFF0042CF\n:00000001ff\n:04F0000011223344FF\n",
        ":10EFF800000102030405060708090A0B0C0D0E0F78\n",
        ":FF000000" + std::string(600, 'A') + "\n",
        ":0A10000011\r\n\r\r\n:zz\n" + std::string(300, ':'),
        big,
    };
}
