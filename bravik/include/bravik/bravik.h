/* Bravik: register and EEPROM access through the UVC extension unit of the scope's bridge.
 *
 * Hosts load libBravik.so at run time and resolve the eight functions below by name. The two
 * handles that BV_UVCInitialize hands out are owned by the library and freed only by
 * BV_UVCRelease; buffers of the transfer functions belong to the caller. All calls for one
 * device come from one thread, one at a time.
 */
#ifndef BRAVIK_BRAVIK_H
#define BRAVIK_BRAVIK_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct BVFilterHolder BVFilterHolder; /* opaque: the bound video-input device */
typedef struct BVUnit BVUnit;                 /* opaque: the extension-unit object */

/* Results: 0 success, negative HRESULT-style failure, and two positive codes. */
#define BV_OK 0
#define BV_CONTROL_ABSENT 1         /* the unit lacks a control the transfer needs; nothing sent */
#define BV_BUFFER_ALLOC_FAILED 1450 /* unit created, but some controls got no buffer */
#define BV_E_INVALIDARG ((int)0x80070057)
#define BV_E_FAIL ((int)0x80004005) /* no matching device, no filter bound, request timed out */
#define BV_E_POINTER ((int)0x80004003)
#define BV_E_NOINTERFACE ((int)0x80004002) /* the device offered no request channel */
/* A system error code e (errno on Linux) as a result. */
#define BV_RESULT_FROM_ERRNO(e) ((int)(0x80070000u | ((unsigned)(e)&0xFFFFu)))

/* Transfer modes of BV_UvcReadReg / BV_UvcWriteReg: address and data widths. */
#define BV_MODE_A16D16 0
#define BV_MODE_A16D8 1
#define BV_MODE_A8D16 2
#define BV_MODE_A8D8 3

#define BV_EEPROM_BLOCK 16

/* Returns 0; there is nothing to initialise on this system. */
int BV_InitializeCOM(int coInitFlags);
void BV_UninitializeCOM(void);

/* Finds the video input with the given USB ids (pid or vid -1: the first device of vendor
 * 0x05E3, else the last one found) and creates its extension-unit object. *filterOut is set
 * whenever the search found a device, even if a later step fails; release it then. */
int BV_UVCInitialize(BVFilterHolder** filterOut, BVUnit** unitOut, int pid, int vid, int* foundPid,
                     int* foundVid);
/* Destroys the unit and the holder and clears both. With *filter empty it does nothing. */
void BV_UVCRelease(BVFilterHolder** filter, BVUnit** unit);

int BV_UvcReadReg(BVUnit* unit, int mode, int device, int address, uint16_t* value);
int BV_UvcWriteReg(BVUnit* unit, int mode, int device, int address, const uint16_t* value);
/* 16 consecutive EEPROM bytes at address. */
int BV_UvcReadEEPCont(BVUnit* unit, int address, uint8_t* out);
int BV_UvcWriteEEPCont(BVUnit* unit, int address, const uint8_t* data);

/* Types of the eight exports, for hosts that resolve them by name. */
typedef int (*BV_InitializeCOM_fn)(int);
typedef void (*BV_UninitializeCOM_fn)(void);
typedef int (*BV_UVCInitialize_fn)(BVFilterHolder**, BVUnit**, int, int, int*, int*);
typedef void (*BV_UVCRelease_fn)(BVFilterHolder**, BVUnit**);
typedef int (*BV_UvcReadReg_fn)(BVUnit*, int, int, int, uint16_t*);
typedef int (*BV_UvcWriteReg_fn)(BVUnit*, int, int, int, const uint16_t*);
typedef int (*BV_UvcReadEEPCont_fn)(BVUnit*, int, uint8_t*);
typedef int (*BV_UvcWriteEEPCont_fn)(BVUnit*, int, const uint8_t*);

#ifdef __cplusplus
}
#endif

#endif
