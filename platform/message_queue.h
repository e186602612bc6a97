// Thread message queues: the windowing system's message loop, without windows.
//
// A thread owns at most one queue. Any thread posts a message (a 32-bit code
// and two word-sized parameters) to a thread by its id, or to a message
// target, a window-like receiver that belongs to the thread that created it.
// The owning thread takes its messages with PeekMessage (first in, first out,
// never blocking), hands each to TranslateMessage (the thread's translator may
// derive and post further messages) and DispatchMessage, which calls the
// handler of the message's target, or, for a message posted to the thread
// itself, the handler the thread registered for that code. No code has a
// meaning of its own here: kMessageQuit is dispatched like any other.
//
// Lifetime: a thread's queue is created by its first EnsureMessageQueue or
// PeekMessage call and destroyed, with the messages still in it, its targets
// and its handlers, when the thread ends. Posting to a thread without a queue
// fails, as it does on the original platform.
//
// One queue service per process. A program that hosts modules exports the
// service (link it with --export-dynamic-symbol=ZtnMessageQueueServiceV1), and
// every copy of this layer linked into a module it loads uses the program's
// service, so a module's threads post to the host's thread and the host's pump
// dispatches to the module's handlers. Without that export each copy keeps its
// own queues.
//
// Thread safety: Post*, CreateMessageTarget and DestroyMessageTarget from any
// thread; PeekMessage, TranslateMessage, DispatchMessage and the handler
// registration act on the calling thread's queue. Handlers run on the
// dispatching thread without any lock held, so they may post and register.
// Nothing here blocks beyond short internal locks.
#pragma once

#include <cstdint>

namespace ztn::platform {

// A thread's id: unique among the live threads of the process.
using ThreadId = uint32_t;
ThreadId GetCurrentThreadId();

// A message target's id; 0 means none (a message posted to a thread).
using MessageTarget = uint64_t;

// Message codes in the original platform's numbering.
inline constexpr uint32_t kMessageNull = 0x0000;
inline constexpr uint32_t kMessageQuit = 0x0012;
inline constexpr uint32_t kMessageUser = 0x0400;  // first code free for private use
inline constexpr uint32_t kMessageApp = 0x8000;

struct Message {
  MessageTarget target = 0;  // 0: posted to the thread
  uint32_t message = 0;
  uint64_t wParam = 0;
  int64_t lParam = 0;
  uint32_t time = 0;  // GetTickCount when posted
};

// Called by DispatchMessage on the dispatching thread; its result is
// DispatchMessage's.
using MessageHandler = int64_t (*)(void* context, const Message& message);
// Called by TranslateMessage; returns whether it translated the message
// (posting derived messages is its business).
using MessageTranslator = bool (*)(void* context, const Message& message);

// Creates the calling thread's queue if it has none. Always succeeds.
void EnsureMessageQueue();

// Appends a message to the queue of `thread`. False when no live thread of
// this process with that id has a queue.
bool PostThreadMessage(ThreadId thread, uint32_t message, uint64_t wParam, int64_t lParam);

// A new target owned by the calling thread (whose queue is created), whose
// messages DispatchMessage hands to `handler`. Returns its id (never 0).
MessageTarget CreateMessageTarget(MessageHandler handler, void* context);

// Removes a target; its messages still queued are then dispatched to nobody.
// False when there is no such target.
bool DestroyMessageTarget(MessageTarget target);

// Appends a message for `target` to the queue of the thread that owns it.
// False when there is no such target.
bool PostMessage(MessageTarget target, uint32_t message, uint64_t wParam, int64_t lParam);

// Takes the oldest message of the calling thread's queue into `message`
// (removing it when `remove` is true). False, `message` untouched, when the
// queue is empty. Never blocks.
bool PeekMessage(Message& message, bool remove);

// Hands the message to the calling thread's translator; false when the
// thread has none or the translator did not translate it.
bool TranslateMessage(const Message& message);
void SetMessageTranslator(MessageTranslator translator, void* context);

// For a message to a target owned by the calling thread: that target's
// handler. For a message to the thread: the handler the calling thread
// registered for its code. Returns the handler's result, or 0 when there is
// none (the message is dropped).
int64_t DispatchMessage(const Message& message);

// The calling thread's handler for messages posted to it with `message` as
// their code (replacing an earlier one; a null handler removes it).
void SetThreadMessageHandler(uint32_t message, MessageHandler handler, void* context);

}  // namespace ztn::platform
