/*
 * The backup program's burn sequence through the public header alone, as a C caller links it.
 * Usage: halvorin_burn_c TARGET DISC_TYPE SOURCE LABEL
 *   TARGET     the recorder's target ID on host adapter 0
 *   DISC_TYPE  the DISC_TYPE the inserted blank disc must report
 *   SOURCE     a folder in Windows form ("Z:\tmp\...\src"), added as a root folder of the image
 *   LABEL      the volume label
 * Prints one line per failed check; the exit status is the number of failures.
 */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "lib/api/halvorin.h"

static int failures = 0;

#define CHECK(condition, ...)                                       \
  do {                                                              \
    if (!(condition)) {                                             \
      ++failures;                                                   \
      printf("FAILED %s:%d: %s: ", __FILE__, __LINE__, #condition); \
      printf(__VA_ARGS__);                                          \
      printf("\n");                                                 \
    }                                                               \
  } while (0)

typedef struct Events {
  int analyzeBegin, analyzeEnd, syncBegin, syncEnd, progress, underruns;
  int64_t lastTotal, lastWritten;
} Events;

static void Record(uint32_t reason, void* context, void* param1, void* param2) {
  Events* e = (Events*)context;
  switch (reason) {
    case TARGET_FILE_ANALYZE_BEGIN:
      ++e->analyzeBegin;
      break;
    case TARGET_FILE_ANALYZE_END:
      ++e->analyzeEnd;
      break;
    case SYNCHRONIZE_CACHE_BEGIN:
      ++e->syncBegin;
      break;
    case SYNCHRONIZE_CACHE_END:
      ++e->syncEnd;
      break;
    case HALVORIN_CALLBACK_REASON_BUFFER_UNDERRUN:
      ++e->underruns;
      break;
    case HALVORIN_CALLBACK_REASON_WRITE_PROGRESS:
      ++e->progress;
      e->lastTotal = *(int64_t*)param1;
      e->lastWritten = *(int64_t*)param2;
      break;
    default:
      break;
  }
}

static char text[512];
static uint32_t systemError;
static CDB_FAILURE_INFORMATION failure;

#define ARGS burner, text, sizeof text, &systemError, &failure

int main(int argc, char** argv) {
  if (argc != 5) {
    printf("usage: %s TARGET DISC_TYPE SOURCE LABEL\n", argv[0]);
    return 100;
  }
  const uint8_t target = (uint8_t)atoi(argv[1]);
  const DISC_TYPE discType = (DISC_TYPE)atoi(argv[2]);
  const char* source = argv[3];
  const char* label = argv[4];
  Events events;
  memset(&events, 0, sizeof events);

  CHECK(Halvorin_UpStart() == 0, "start-up");
  void* burner = NULL;
  HALVORIN_STATUS s = Halvorin_CdvdBurnerGrabber_Create(
      &burner, text, sizeof text, &systemError, &failure, Record, &events, 0, 0, target, 0, 0);
  CHECK(s == HALVORIN_STATUS_SUCCESS && burner != NULL, "create: %u %s", (unsigned)s, text);
  if (!burner) return failures;

  CHECK(Halvorin_CdvdBurnerGrabber_GetInsertedDiscType(burner) == discType, "disc type %u",
        (unsigned)Halvorin_CdvdBurnerGrabber_GetInsertedDiscType(burner));

  TRACK_INFORMATION info;
  memset(&info, 0, sizeof info);
  s = Halvorin_CdvdBurnerGrabber_GetTrackInformation(ARGS, 255, &info);
  CHECK(s == 0 && info.m__UCHAR__IsValid == 1, "track information: %u %s", (unsigned)s, text);
  CHECK(info.m__BOOLEAN__IsBlank == 1 && info.m__ULONG__FreeBlocks > 0, "blank %d, free %u",
        info.m__BOOLEAN__IsBlank, (unsigned)info.m__ULONG__FreeBlocks);
  const int32_t start = info.m__LONG__NextWritableAddress;

  s = Halvorin_CdvdBurnerGrabber_TestUnitReady(ARGS);
  CHECK(s == 0, "test unit ready: %u %s", (unsigned)s, text);

  uint8_t enabled = 0, supported = 0;
  s = Halvorin_CdvdBurnerGrabber_GetBUP(ARGS, &enabled, &supported);
  CHECK(s == 0, "get BUP: %u %s", (unsigned)s, text);
  if (supported) {
    s = Halvorin_CdvdBurnerGrabber_SetBUP(ARGS, 1);
    CHECK(s == 0, "set BUP: %u %s", (unsigned)s, text);
    s = Halvorin_CdvdBurnerGrabber_GetBUP(ARGS, &enabled, &supported);
    CHECK(s == 0 && enabled == 1, "BUP after set: %u, enabled %d", (unsigned)s, enabled);
  }

  uint32_t readNow = 0, readMax = 0, writeNow = 0, writeMax = 0;
  s = Halvorin_CdvdBurnerGrabber_GetSpeeds(ARGS, &readNow, &readMax, &writeNow, &writeMax);
  CHECK(s == 0 && readMax > 0 && writeMax > 0, "get speeds: %u %s (%u, %u)", (unsigned)s, text,
        (unsigned)readMax, (unsigned)writeMax);
  s = Halvorin_CdvdBurnerGrabber_SetSpeeds(ARGS, 0xFFFF, 0xFFFF);
  CHECK(s == 0, "set speeds: %u %s", (unsigned)s, text);

  void* tree = NULL;
  s = Halvorin_ISO9660JolietFileTree_Create(&tree, text, sizeof text, &systemError, NULL, NULL, 0,
                                            0, 1, 1);
  CHECK(s == 0 && tree != NULL, "tree: %u %s", (unsigned)s, text);
  if (!tree) return failures;
  void* parent = NULL;
  s = Halvorin_ISO9660JolietFileTree_Add(tree, text, sizeof text, &systemError, source, NULL, 2,
                                         &parent);
  CHECK(s == 0, "add %s: %u %s", source, (unsigned)s, text);
  s = Halvorin_ISO9660JolietFileTree_BuildImage(tree, text, sizeof text, &systemError, start,
                                                Halvorin_ISO9660JolietFileTree_GetLevel(tree), 1,
                                                label, "QB.exe", "QB.exe");
  CHECK(s == 0, "build at %d: %u %s", (int)start, (unsigned)s, text);
  uint32_t high = 0;
  const uint64_t size =
      Halvorin_ISO9660JolietFileTree_GetSizeInUCHARs(tree, &high) | ((uint64_t)high << 32);
  CHECK(size > 0 && size % 2048 == 0, "image size %llu", (unsigned long long)size);

  s = Halvorin_CdvdBurnerGrabber_SendOPC(ARGS);
  CHECK(s == 0, "OPC: %u %s", (unsigned)s, text);
  s = Halvorin_CdvdBurnerGrabber_TrackAtOnceFromTree(ARGS, tree, 1, 0, 0, 1, 5);
  CHECK(s == 0, "track-at-once: %u %s", (unsigned)s, text);
  CHECK(events.analyzeBegin == 1 && events.analyzeEnd == 1, "analyze %d/%d", events.analyzeBegin,
        events.analyzeEnd);
  CHECK(events.syncBegin == 1 && events.syncEnd == 1, "synchronize %d/%d", events.syncBegin,
        events.syncEnd);
  CHECK(events.progress > 0 && events.lastWritten == events.lastTotal &&
            events.lastTotal == (int64_t)(size / 2048),
        "progress %d: %lld of %lld blocks, image %llu blocks", events.progress,
        (long long)events.lastWritten, (long long)events.lastTotal,
        (unsigned long long)(size / 2048));
  CHECK(events.underruns == 0, "%d underruns", events.underruns);

  s = Halvorin_CdvdBurnerGrabber_CloseSession(ARGS);
  CHECK(s == 0, "close session: %u %s", (unsigned)s, text);
  s = Halvorin_CdvdBurnerGrabber_Eject(ARGS);
  CHECK(s == 0, "eject: %u %s", (unsigned)s, text);

  Halvorin_Destroy(&burner);
  CHECK(burner == NULL, "destroy clears the handle");
  Halvorin_Destroy(&tree);
  CHECK(tree == NULL, "destroy clears the tree");
  CHECK(Halvorin_DownShut() == 0, "shut-down");
  return failures;
}
