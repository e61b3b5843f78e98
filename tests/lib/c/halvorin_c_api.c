/*
 * The library through its public header alone, as a C caller links it. Arguments name the
 * devices the search must report: "TYPE,HOSTADAPTER,TARGET,NAME" each. Prints one line per
 * failed check; the exit status is the number of failures.
 */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "c_check.h"
#include "halvorin.h"

typedef struct Expected {
  int type, hostAdapter, target;
  const char* name;
} Expected;

typedef struct Found {
  int count;
  int badReports;
  void* context;
  HALVORIN_DEVICE_ADDRESS addresses[256];
} Found;

static void Collect(uint32_t reason, void* context, void* param1, void* param2) {
  Found* found = (Found*)context;
  const HALVORIN_DEVICE_ADDRESS* address = (const HALVORIN_DEVICE_ADDRESS*)param1;
  if (reason != HALVORIN_CALLBACK_REASON_DEVICE_FOUND || param2 != NULL || address == NULL ||
      found->context != context || address->m__UCHAR__IsValid != 1 || address->m__UCHAR__Bus != 0 ||
      address->m__UCHAR__LUN != 0) {
    ++found->badReports;
    return;
  }
  if (found->count < 256) found->addresses[found->count] = *address;
  ++found->count;
}

static int Contains(const Found* found, const Expected* e) {
  for (int i = 0; i < found->count && i < 256; ++i)
    if (found->addresses[i].m__UCHAR__HostAdapter == e->hostAdapter &&
        found->addresses[i].m__UCHAR__TargetID == e->target)
      return 1;
  return 0;
}

static uint32_t Search(int32_t filter, uint8_t stopAtFirst, Found* found) {
  memset(found, 0, sizeof *found);
  found->context = found;
  return Halvorin_FindDevice(filter, stopAtFirst, Collect, found);
}

int main(int argc, char** argv) {
  Expected expected[64];
  int count = 0;
  for (int i = 1; i < argc && count < 64; ++i) {
    Expected* e = &expected[count++];
    char* comma = NULL;
    e->type = (int)strtol(argv[i], &comma, 10);
    e->hostAdapter = (int)strtol(comma + 1, &comma, 10);
    e->target = (int)strtol(comma + 1, &comma, 10);
    e->name = comma + 1;
  }

  CHECK(Halvorin_GetVersion() == 0x20041017u, "version 0x%08X", (unsigned)Halvorin_GetVersion());

  CHECK(Halvorin_GetDVDPadding() == 0, "padding starts off");
  CHECK(Halvorin_SetDVDPadding(1) == 1, "set returns the value");
  CHECK(Halvorin_GetDVDPadding() == 1, "padding on");
  Halvorin_SetDVDPadding(0);

  CHECK(Halvorin_DownShut() == 0, "shut-down");
  {
    void* tree = NULL;
    char text[64] = "";
    uint32_t error = 0;
    const HALVORIN_STATUS before = Halvorin_ISO9660JolietFileTree_Create(
        &tree, text, sizeof text, &error, NULL, NULL, 0, 0, 1, 1);
    CHECK(before == 21, "creating before start-up gives %d", (int)before);
    CHECK(tree == NULL, "no tree before start-up");
  }
  CHECK(Halvorin_UpStart() == 0, "start-up");
  CHECK(Halvorin_IsAudioFileSupported(NULL) == 22, "no file is no audio file");

  Found found;
  uint32_t n = Search(5, 0, &found);
  CHECK(n == (uint32_t)found.count, "returned %u, reported %d", n, found.count);
  CHECK(found.badReports == 0, "%d malformed reports", found.badReports);
  for (int i = 0; i < count; ++i) {
    if (expected[i].type == 5)
      CHECK(Contains(&found, &expected[i]), "filter 5 misses %d:%d", expected[i].hostAdapter,
            expected[i].target);
    else
      CHECK(!Contains(&found, &expected[i]), "filter 5 reports type %d at %d:%d", expected[i].type,
            expected[i].hostAdapter, expected[i].target);
  }

  n = Search(-1, 0, &found);
  CHECK(n == (uint32_t)found.count && found.badReports == 0, "filter -1: %u, %d", n, found.count);
  for (int i = 0; i < count; ++i)
    CHECK(Contains(&found, &expected[i]), "filter -1 misses %d:%d", expected[i].hostAdapter,
          expected[i].target);

  n = Search(5, 1, &found);
  CHECK(n == 1 && found.count == 1, "stop at first: %u, %d", n, found.count);

  for (int i = 0; i < count; ++i) {
    char name[300];
    memset(name, 0, sizeof name);
    HALVORIN_STATUS status = Halvorin_GetDeviceNameByDeviceAddress(
        (uint8_t)expected[i].hostAdapter, 0, (uint8_t)expected[i].target, 0, name, sizeof name);
    CHECK(status == 0 && strcmp(name, expected[i].name) == 0, "name of %d:%d: %u '%s'",
          expected[i].hostAdapter, expected[i].target, (unsigned)status, name);
    printf("device %d:%d '%s'\n", expected[i].hostAdapter, expected[i].target, name);
  }
  if (count > 0) {
    char cut[6] = "#####";
    HALVORIN_STATUS status = Halvorin_GetDeviceNameByDeviceAddress(
        (uint8_t)expected[0].hostAdapter, 0, (uint8_t)expected[0].target, 0, cut, 4);
    CHECK(
        status == 0 && strlen(cut) == 3 && strncmp(cut, expected[0].name, 3) == 0 && cut[4] == '#',
        "a name cut to 4 characters: '%s'", cut);
  }
  {
    char name[64] = "untouched";
    CHECK(Halvorin_GetDeviceNameByDeviceAddress(250, 0, 0, 0, name, sizeof name) == 17,
          "no such host adapter");
  }

  void* handle = NULL;
  Halvorin_Destroy(&handle);
  CHECK(handle == NULL, "destroying a null handle");

  printf("%d failure(s)\n", failures);
  return failures > 100 ? 100 : failures;
}
