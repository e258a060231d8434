/* The simulated scope rig: C interface for tests, outside programs and Bravik.
 *
 * Bravik finds these functions at run time (dlsym(RTLD_DEFAULT, ...)) when the host
 * process has started the rig; it never links against libscopesim.
 */
#ifndef SCOPESIM_SCOPESIM_H
#define SCOPESIM_SCOPESIM_H

#ifdef __cplusplus
extern "C" {
#endif

/* Starts the rig from a scenario file, or the default rig when scenario is NULL.
 * 0 on success; non-zero with a message on stderr otherwise (nothing started). */
int scopesim_start(const char* scenario);
/* Stops the rig and forgets all its devices. */
void scopesim_stop(void);
/* 1 while a rig runs. */
int scopesim_running(void);
/* Applies one event line without its "at MS" prefix, e.g. `tube "X" out`.
 * 0 when applied; non-zero with a message on stderr otherwise. */
int scopesim_command(const char* line);

/* ---- The extension-unit surface, shaped like uvcvideo's ----
 * Devices are the rig's video inputs that are plugged now, in rig order. Each has a
 * stable id (> 0) for the rig's lifetime, so a caller that holds an id across an
 * unplug gets ENODEV rather than another device. */

/* Number of plugged video inputs. */
int scopesim_xu_device_count(void);
/* Stable id of the index-th plugged video input, or 0 when there is none. */
int scopesim_xu_device_id(int index);
/* USB vendor and product id of device id; 0 on success, ENODEV when unplugged/unknown. */
int scopesim_xu_device_usb_ids(int id, int* vid, int* pid);
/* The device's USB descriptors exactly as sysfs's 'descriptors' file holds them
 * (device descriptor, then every configuration descriptor). Returns the full length
 * (which may exceed cap; at most cap bytes are copied), or -1 when the id is unknown
 * or the device is unplugged. */
int scopesim_xu_descriptors(int id, unsigned char* buf, int cap);
/* One request with the semantics of UVCIOC_CTRL_QUERY (struct uvc_xu_control_query):
 * query is UVC_SET_CUR 0x01, UVC_GET_CUR 0x81, UVC_GET_LEN 0x85 (size 2, little-endian
 * length), UVC_GET_INFO 0x86 (size 1). GET/SET need exactly the control's length
 * (else ENOBUFS). Returns 0 or a positive errno: ENOENT for an unknown unit or absent
 * selector, ENODEV when unplugged. A stalled device blocks the calling thread (real
 * time) until its stall ends on the rig clock or 5000 ms of real time have passed, then
 * ETIMEDOUT, as the kernel would. Safe to call from any thread. */
int scopesim_xu_query(int id, unsigned char unit, unsigned char selector, unsigned char query,
                      unsigned short size, unsigned char* data);

/* ---- Time and scripts ----
 * The rig runs on the clock it is given (real steady time until then). now returns
 * milliseconds (wrapping at 2^32); sleep waits that long on the same clock. NULL now puts
 * back real time. Set it before starting the rig. */
void scopesim_set_clock(unsigned (*now)(void* ctx), void (*sleep)(void* ctx, unsigned ms),
                        void* ctx);
/* Milliseconds of the rig clock since the rig started; 0 when none runs. */
unsigned scopesim_time(void);
/* Fires the scripted events that are due (every call into the rig also does). */
void scopesim_poll(void);
/* Sleeps ms on the rig clock, firing scripted events as they come due. */
void scopesim_wait(unsigned ms);

#ifdef __cplusplus
}
#endif

#endif
