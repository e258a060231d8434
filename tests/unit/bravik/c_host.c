/* A C host that knows only the library's public header and the rig's C interface. */
#include "bravik/include/bravik/bravik.h"
#include "scopesim/scopesim.h"

#include <dlfcn.h>
#include <stdio.h>
#include <string.h>

#define RESOLVE(type, name) type name = (type)dlsym(lib, #name)

int main(int argc, char** argv)
{
    const char* path = argc > 1 ? argv[1] : "./libBravik.so";
    if (scopesim_start(NULL) != 0)
        return 1;
    void* lib = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    if (!lib) {
        fprintf(stderr, "%s\n", dlerror());
        return 1;
    }
    RESOLVE(BV_InitializeCOM_fn, BV_InitializeCOM);
    RESOLVE(BV_UninitializeCOM_fn, BV_UninitializeCOM);
    RESOLVE(BV_UVCInitialize_fn, BV_UVCInitialize);
    RESOLVE(BV_UVCRelease_fn, BV_UVCRelease);
    RESOLVE(BV_UvcReadReg_fn, BV_UvcReadReg);
    RESOLVE(BV_UvcReadEEPCont_fn, BV_UvcReadEEPCont);
    RESOLVE(BV_UvcWriteEEPCont_fn, BV_UvcWriteEEPCont);
    if (!BV_InitializeCOM || !BV_UninitializeCOM || !BV_UVCInitialize || !BV_UVCRelease ||
        !BV_UvcReadReg || !BV_UvcReadEEPCont || !BV_UvcWriteEEPCont) {
        fprintf(stderr, "missing export\n");
        return 1;
    }

    BV_InitializeCOM(2);
    BVFilterHolder* filter = NULL;
    BVUnit* unit = NULL;
    int pid = -1, vid = -1;
    int failed = 0;
    int r = BV_UVCInitialize(&filter, &unit, 0x0510, 0x05E3, &pid, &vid);
    if (r != 0 || !unit) {
        fprintf(stderr, "initialize: 0x%08x\n", (unsigned)r);
        failed = 1;
    } else {
        uint16_t chip = 0xFFFF;
        r = BV_UvcReadReg(unit, BV_MODE_A16D16, 0x7A, 0x0000, &chip);
        printf("device 0x7a register 0x0000 = 0x%04x (result %d)\n", chip, r);
        if (r != 0 || chip == 0xFFFF)
            failed = 1;
        uint8_t block[16], back[16];
        for (int i = 0; i < 16; ++i)
            block[i] = (uint8_t)(0xC0 + i);
        r = BV_UvcWriteEEPCont(unit, 0x0400, block);
        if (r != 0 || BV_UvcReadEEPCont(unit, 0x0400, back) != 0 || memcmp(block, back, 16) != 0) {
            fprintf(stderr, "eeprom round trip failed (%d)\n", r);
            failed = 1;
        } else {
            printf("eeprom block 0x0400 written and read back\n");
        }
    }
    BV_UVCRelease(&filter, &unit);
    if (filter || unit)
        failed = 1;
    BV_UninitializeCOM();
    dlclose(lib);
    scopesim_stop();
    return failed;
}
