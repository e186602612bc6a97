/*
 * linkmod_send: the smallest module that sends one message.
 *
 *   linkmod_send TOKEN TARGET-IDENTITY TEXT
 *
 * TOKEN is the caller token the host hands to its modules (`linkctl token`
 * makes one). The text goes out with message code 1, its NUL included.
 * Exit code 0 when the target took the message.
 */
#include <stdio.h>
#include <string.h>

#include "linkmod/linkmod.h"

#define MODULE_TYPE 100
#define MESSAGE_CODE 1

/* Identities and tokens are ASCII: widen and narrow unit by unit. */
static void widen(const char* text, char16_t* out, size_t units) {
  size_t i = 0;
  for (; text[i] != '\0' && i + 1 < units; ++i) out[i] = (unsigned char)text[i];
  out[i] = 0;
}

int main(int argc, char** argv) {
  char16_t token[64];
  char16_t target[LINKMOD_IDENTITY_UNITS];
  char16_t self[LINKMOD_IDENTITY_UNITS] = {0};
  int32_t delivered;

  if (argc != 4) {
    fprintf(stderr, "usage: linkmod_send TOKEN TARGET-IDENTITY TEXT\n");
    return 2;
  }
  widen(argv[1], token, 64);
  widen(argv[2], target, LINKMOD_IDENTITY_UNITS);

  /* One send queue: this module sends one message at a time. */
  Initialize(token, MODULE_TYPE, 0, 1, self);
  if (self[0] == 0) {
    fprintf(stderr, "linkmod_send: Initialize failed (is the token valid?)\n");
    return 1;
  }
  /* Wait at most 5 s for each step: a free queue, the target's Accept, and
   * the target reading the message. */
  delivered = SendToId(self, target, MESSAGE_CODE, argv[3], (int32_t)strlen(argv[3]) + 1, 5000);
  UnInitialize(self);
  if (delivered != 1) {
    fprintf(stderr, "linkmod_send: not delivered\n");
    return 1;
  }
  printf("delivered\n");
  return 0;
}
