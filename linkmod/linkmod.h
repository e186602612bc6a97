/*
 * linkmod: messages between the processes of one machine.
 *
 * A module registers with Initialize under a module type and a sub type and
 * receives a machine-unique identity (at most 55 UTF-16 units). With it, it
 * can send a message (a 32-bit code and up to 10240 bytes) to one identity or
 * to every live registration of a module type, receive messages itself
 * (Accept, then Recv) or through a receive thread that calls a callback, and
 * ask whether another identity is still alive. There is no server process:
 * the transport is named shared memory, named events and one named mutex.
 *
 * Strings are NUL-terminated UTF-16 (char16_t). Every buffer that receives an
 * identity holds LINKMOD_IDENTITY_UNITS (56) units; copies stop at 55 units
 * plus the NUL. Every function takes the caller's own identity first; an
 * identity that is not registered in this process, or a call before the first
 * successful Initialize, gives 0 (the setters then do nothing).
 *
 * Threads: every function may be called from any thread, also while another
 * thread initialises or uninitialises a registration. A callback must not call
 * UnInitialize for its own registration.
 *
 * Usable from C (C11, for char16_t from <uchar.h>) and C++.
 */
#ifndef LINKMOD_LINKMOD_H
#define LINKMOD_LINKMOD_H

#include <stdint.h>
#ifndef __cplusplus
#include <uchar.h>
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Units of every identity buffer: 55 characters and the NUL. */
#define LINKMOD_IDENTITY_UNITS 56
/* Largest payload of one message, in bytes. */
#define LINKMOD_MAX_PAYLOAD 10240
/* Time limit meaning "no limit". */
#define LINKMOD_NO_TIMEOUT (-1)

/*
 * Receive callback. Runs on the receive thread (or, in wait mode != 0, on the
 * thread that runs the receive step). senderId and data are valid only during
 * the call; copy what you keep. data is NULL when the payload is empty, and
 * also when the message announced more than LINKMOD_MAX_PAYLOAD bytes.
 * subType is -1 for messages sent with SendToId.
 */
typedef void (*RecvCallback)(int32_t senderType, int32_t subType, const char16_t* senderId,
                             int32_t messageCode, const void* data, int32_t dataSize);

/*
 * Registers this module. callerToken: the token the host handed in; a token
 * that does not verify creates nothing. queueCount: number of send queues,
 * that is of sends this registration can run at once (0 = it can only
 * receive; at most 256). On success the identity is written to identityOut
 * (LINKMOD_IDENTITY_UNITS units); on failure identityOut is untouched.
 * Returns the library's initialised flag after the call (1 while this process
 * holds any registration), so tell success by the identity written.
 */
int32_t Initialize(const char16_t* callerToken, int32_t moduleType, int32_t subType,
                   uint32_t queueCount, char16_t* identityOut);

/*
 * Ends a registration: wakes and ends its sends, Accept, receive step and
 * receive thread (waiting for a running callback to return), then frees
 * everything. Afterwards other processes see the identity as dead. Returns 1,
 * also for an unknown identity.
 */
int32_t UnInitialize(const char16_t* identity);

/*
 * Announces that this registration is ready for one message and waits for a
 * sender to hand one over. timeoutMs: -1 = no limit, else the wait lasts whole
 * seconds (rounded up, at least one). peerId: an identity whose death ends the
 * wait, or u"" (or NULL) for none. Returns 1 when a message is ready for Recv.
 */
int32_t Accept(const char16_t* identity, int32_t timeoutMs, const char16_t* peerId);

/*
 * Reads the message that the last Accept announced and releases its sender.
 * Every output may be NULL. senderIdOut holds LINKMOD_IDENTITY_UNITS units;
 * data must hold LINKMOD_MAX_PAYLOAD bytes. Returns the payload size in bytes;
 * a size above LINKMOD_MAX_PAYLOAD means only the header arrived and nothing
 * was copied. Returns -1 when the receive step failed (for instance the sender
 * ended), and 0 with no output touched for an unregistered identity.
 */
int32_t Recv(const char16_t* identity, int32_t* senderTypeOut, int32_t* subTypeOut,
             char16_t* senderIdOut, int32_t* messageCodeOut, void* data);

/*
 * Sends one message to targetId and waits until the target has read it.
 * data may be NULL when size is 0; size 0..LINKMOD_MAX_PAYLOAD (a larger size
 * sends the header alone). timeoutMs limits each of the three waits (a free
 * send queue, the target entering Accept, the target reading), -1 = no limit;
 * a dead target ends every wait at once. Returns 1 when the target took the
 * message.
 */
int32_t SendToId(const char16_t* identity, const char16_t* targetId, int32_t messageCode,
                 const void* data, int32_t size, int32_t timeoutMs);

/*
 * Sends one message to every live registration of moduleType (never to the
 * caller's own), one after the other; subType -1 addresses every sub type,
 * any other value only that one. firstTargetOut (LINKMOD_IDENTITY_UNITS
 * units, may be NULL) receives the first identity that took the message.
 * Returns 1 when at least one target took it.
 */
int32_t SendToModuleType(const char16_t* identity, int32_t moduleType, int32_t subType,
                         char16_t* firstTargetOut, int32_t messageCode, const void* data,
                         int32_t size, int32_t timeoutMs);

/*
 * Starts the receive thread: it accepts and reads one message after another
 * and calls callback (may be NULL: messages are then taken and dropped) until
 * UnInitialize. Do not call Accept or Recv on the registration while it runs.
 * Returns 1. A second call only replaces the callback.
 */
int32_t StartRecvThread(const char16_t* identity, RecvCallback callback);

/* Does nothing: the receive thread ends only with UnInitialize. */
void StopRecvThread(void);

/* Replaces the receive thread's callback (NULL allowed). */
void SetRecvCallback(const char16_t* identity, RecvCallback callback);

/*
 * Wait mode 0 (the default): the sender is released as soon as the message is
 * copied, then the callback runs. Any other value: the callback runs first and
 * the sender waits for it to return (its time limit keeps running).
 */
void SetRecvWaitMode(const char16_t* identity, int32_t mode);

/* 1 when otherId is a live registration on this machine, else 0. */
int32_t IsAliveId(const char16_t* identity, const char16_t* otherId);

#ifdef __cplusplus
}
#endif

#endif /* LINKMOD_LINKMOD_H */
