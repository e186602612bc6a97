/*
 * linkmod_receive: the smallest module that receives with the receive thread.
 *
 *   linkmod_receive TOKEN [COUNT]
 *
 * Registers, prints its identity (for senders), lets linkmod's receive thread
 * hand each message to a callback, and ends after COUNT messages (default 1).
 */
#include <stdio.h>
#include <stdlib.h>
#include <threads.h>

#include "linkmod/linkmod.h"

#define MODULE_TYPE 101

static mtx_t lock;
static cnd_t changed;
static int received;

static void narrow(const char16_t* text, char* out, size_t size) {
  size_t i = 0;
  for (; text[i] != 0 && i + 1 < size; ++i) out[i] = text[i] < 0x80 ? (char)text[i] : '?';
  out[i] = '\0';
}

/* Runs on the receive thread; data and senderId are valid only during the
 * call. */
static void on_message(int32_t senderType, int32_t subType, const char16_t* senderId,
                       int32_t messageCode, const void* data, int32_t dataSize) {
  char sender[LINKMOD_IDENTITY_UNITS];
  narrow(senderId, sender, sizeof sender);
  printf("from %s (type %d, sub %d): code %d, %d bytes\n", sender, senderType, subType,
         messageCode, dataSize);
  if (data != NULL && dataSize > 0) printf("  %.*s\n", dataSize, (const char*)data);
  fflush(stdout);
  mtx_lock(&lock);
  ++received;
  cnd_signal(&changed);
  mtx_unlock(&lock);
}

int main(int argc, char** argv) {
  char16_t token[64];
  char16_t self[LINKMOD_IDENTITY_UNITS] = {0};
  char printable[LINKMOD_IDENTITY_UNITS];
  int count = argc > 2 ? atoi(argv[2]) : 1;
  size_t i;

  if (argc < 2 || argc > 3 || count < 1) {
    fprintf(stderr, "usage: linkmod_receive TOKEN [COUNT]\n");
    return 2;
  }
  for (i = 0; argv[1][i] != '\0' && i + 1 < 64; ++i) token[i] = (unsigned char)argv[1][i];
  token[i] = 0;

  /* No send queues: this module only receives. */
  Initialize(token, MODULE_TYPE, 0, 0, self);
  if (self[0] == 0) {
    fprintf(stderr, "linkmod_receive: Initialize failed (is the token valid?)\n");
    return 1;
  }
  narrow(self, printable, sizeof printable);
  printf("%s\n", printable);
  fflush(stdout);

  mtx_init(&lock, mtx_plain);
  cnd_init(&changed);
  /* Wait mode 0 (the default): each sender is released as soon as its
   * message is copied, before the callback runs. */
  StartRecvThread(self, on_message);
  mtx_lock(&lock);
  while (received < count) cnd_wait(&changed, &lock);
  mtx_unlock(&lock);

  /* Ends the receive thread too; never call it from the callback. */
  UnInitialize(self);
  cnd_destroy(&changed);
  mtx_destroy(&lock);
  return 0;
}
