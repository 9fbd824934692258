/* The hub as an emulated usbfs device: the sysfs records that make libusb
 * list it, and the usbfs requests libusb sends to its device node, with the
 * bulk bytes carried to and from the simulator's <location>.sock.
 *
 * Each time the hub appears on the bus it is a new device (a new address and
 * node, as the kernel gives it); descriptors opened on an earlier appearance
 * get ENODEV from then on.
 */
#ifndef VEXAL_USBFS_DEVICE_H
#define VEXAL_USBFS_DEVICE_H

#include <umockdev.h>

typedef struct UsbfsBus UsbfsBus;

/* location is "<bus>-<port>" (a hub on a root port); sock_path the
 * simulator's bulk socket. NULL for a location of another form. Lives to the
 * end of the process: umockdev's worker thread may call into it until then. */
UsbfsBus* usbfs_bus_new(UMockdevTestbed* testbed, const char* location, const char* sock_path);

/* Called from one thread (the main loop): bring the device in line with the
 * simulator's bus. present: the simulator publishes the hub; exclusive: its
 * descriptor says another program holds it. */
void usbfs_bus_sync(UsbfsBus* bus, gboolean present, gboolean exclusive);

#endif
