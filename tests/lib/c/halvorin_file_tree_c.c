/*
 * The file-tree exports through the public header alone, as a C caller links them.
 * Usage: halvorin_file_tree_c SOURCE IMAGE START
 *   SOURCE  a folder in Windows form ("Z:\tmp\...\src") holding a\b\c\leaf.txt
 *   IMAGE   the POSIX path the image is written to
 *   START   the sector the image is laid out from
 * Next to the folder the image holds mem\block.bin (kBlockSize bytes, byte i = (i * 7 + 3) & 255).
 * Prints one line per failed check; the exit status is the number of failures.
 */
/* mmap flags and strnlen are POSIX, outside strict C11. */
#define _DEFAULT_SOURCE
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>

#include "c_check.h"
#include "halvorin.h"

enum { kMaxPath = 260, kBlockSize = 100003, kDirectory = 0x10, kCanary = 0x5A, kSlack = 64 };

typedef struct Events {
  int added;
  int removed;
} Events;

static void Count(uint32_t reason, void* context, void* param1, void* param2) {
  (void)param1;
  (void)param2;
  Events* events = (Events*)context;
  if (reason == HALVORIN_CALLBACK_REASON_ADD_NAME) ++events->added;
  if (reason == HALVORIN_CALLBACK_REASON_REMOVE_NAME) ++events->removed;
}

static char text[512];
static uint32_t systemError;

static void* Create(Events* events) {
  void* tree = NULL;
  const HALVORIN_STATUS s = Halvorin_ISO9660JolietFileTree_Create(
      &tree, text, sizeof text, &systemError, Count, events, 0, 0, 0, 1);
  CHECK(s == HALVORIN_STATUS_SUCCESS && tree != NULL, "create: %u %s", (unsigned)s, text);
  return tree;
}

/* The kid of a node with the given long name, or NULL. */
static void* Kid(void* tree, void* node, const char* name) {
  char path[kMaxPath], longName[kMaxPath], shortName[kMaxPath];
  for (void* kid = Halvorin_ISO9660JolietFileTree_GetFirstKid(tree, node); kid;
       kid = Halvorin_ISO9660JolietFileTree_GetNextKid(tree, node, kid)) {
    Halvorin_ISO9660JolietFileTree_GetNames(tree, kid, path, longName, shortName);
    if (strcmp(longName, name) == 0) return kid;
  }
  return NULL;
}

static uint64_t Power(void* tree, void* node) {
  uint32_t high = 0xFFFFFFFFu;
  const uint32_t low = Halvorin_ISO9660JolietFileTree_GetNodePowerInUCHARs(tree, node, &high);
  return ((uint64_t)high << 32) | low;
}

static uint64_t ImageSize(void* tree) {
  uint32_t high = 0xFFFFFFFFu;
  const uint32_t low = Halvorin_ISO9660JolietFileTree_GetSizeInUCHARs(tree, &high);
  return ((uint64_t)high << 32) | low;
}

static int AllCanary(const unsigned char* bytes, size_t count) {
  for (size_t i = 0; i < count; ++i)
    if (bytes[i] != kCanary) return 0;
  return 1;
}

/* Reads the whole image in chunks of odd sizes into the file; the first failing status. */
static HALVORIN_STATUS WriteImage(void* tree, const char* posixPath, uint64_t size) {
  static const int32_t chunks[] = {1, 2047, 4099, 65537, 7, 300007, 12345};
  static char buffer[300007];
  FILE* out = fopen(posixPath, "wb");
  if (!out) return HALVORIN_STATUS_GENERAL_FAILURE;
  HALVORIN_STATUS s = HALVORIN_STATUS_SUCCESS;
  for (size_t i = 0; size > 0 && s == HALVORIN_STATUS_SUCCESS; ++i) {
    int32_t n = chunks[i % (sizeof chunks / sizeof chunks[0])];
    if ((uint64_t)n > size) n = (int32_t)size;
    s = Halvorin_ISO9660JolietFileTree_Read(tree, text, sizeof text, &systemError, n, buffer);
    if (s == HALVORIN_STATUS_SUCCESS && fwrite(buffer, 1, (size_t)n, out) != (size_t)n)
      s = HALVORIN_STATUS_GENERAL_FAILURE;
    size -= (uint64_t)n;
  }
  if (fclose(out) != 0 && s == HALVORIN_STATUS_SUCCESS) s = HALVORIN_STATUS_GENERAL_FAILURE;
  return s;
}

/* Null and foreign handles give status 2 or the neutral result; nothing is touched. */
static void CheckBadHandles(void* tree, void* foreignNode) {
  void* root = Halvorin_ISO9660JolietFileTree_GetRoot(tree);
  void* handles[] = {NULL, root /* a node is no tree */};
  for (int i = 0; i < 2; ++i) {
    void* bad = handles[i];
    char buffer[8];
    uint32_t high = 7;
    void* parent = NULL;
    CHECK(Halvorin_ISO9660JolietFileTree_GetLevel(bad) == 0, "level of handle %d", i);
    CHECK(Halvorin_ISO9660JolietFileTree_GetRoot(bad) == NULL, "root of handle %d", i);
    CHECK(Halvorin_ISO9660JolietFileTree_GetSizeInUCHARs(bad, &high) == 0 && high == 0,
          "size of handle %d", i);
    CHECK(Halvorin_ISO9660JolietFileTree_BuildImage(bad, text, sizeof text, &systemError, 0, 0, 0,
                                                    "X", NULL,
                                                    NULL) == HALVORIN_STATUS_INVALID_ARGUMENT,
          "build on handle %d", i);
    CHECK(Halvorin_ISO9660JolietFileTree_Read(bad, text, sizeof text, &systemError, 8, buffer) ==
              HALVORIN_STATUS_INVALID_ARGUMENT,
          "read on handle %d", i);
    CHECK(Halvorin_ISO9660JolietFileTree_SeekToBegin(bad, text, sizeof text, &systemError) ==
              HALVORIN_STATUS_INVALID_ARGUMENT,
          "seek on handle %d", i);
    CHECK(Halvorin_ISO9660JolietFileTree_Add(bad, text, sizeof text, &systemError, NULL, "x", 2,
                                             &parent) == HALVORIN_STATUS_INVALID_ARGUMENT,
          "add on handle %d", i);
    CHECK(Halvorin_ISO9660JolietFileTree_AddMemory(bad, text, sizeof text, &systemError, buffer, 8,
                                                   0, "x", 2,
                                                   &parent) == HALVORIN_STATUS_INVALID_ARGUMENT,
          "add memory on handle %d", i);
    CHECK(Halvorin_ISO9660JolietFileTree_GetFullPath(bad, root, NULL) == 0, "path on %d", i);
    Halvorin_ISO9660JolietFileTree_Cancel(bad);
  }

  /* A node of another tree. */
  uint64_t size = 77;
  SYSTEMTIME time;
  uint8_t date[7];
  char path[kMaxPath] = "x", longName[kMaxPath] = "x", shortName[kMaxPath] = "x";
  CHECK(Halvorin_ISO9660JolietFileTree_GetFileSizeInUCHARs(tree, foreignNode, &size) ==
                HALVORIN_STATUS_INVALID_ARGUMENT &&
            size == 77,
        "size of a foreign node");
  CHECK(Halvorin_ISO9660JolietFileTree_GetNodeSystemTime(tree, foreignNode, &time) ==
            HALVORIN_STATUS_INVALID_ARGUMENT,
        "time of a foreign node");
  CHECK(Halvorin_ISO9660JolietFileTree_GetNodeISO9660DateTime(tree, foreignNode, date) ==
            HALVORIN_STATUS_INVALID_ARGUMENT,
        "date of a foreign node");
  CHECK(Halvorin_ISO9660JolietFileTree_GetFullPath(tree, foreignNode, path) == 0, "foreign path");
  CHECK(Halvorin_ISO9660JolietFileTree_GetAttributes(tree, foreignNode) == 0, "foreign attrs");
  CHECK(Halvorin_ISO9660JolietFileTree_GetParent(tree, foreignNode) == NULL, "foreign parent");
  CHECK(Halvorin_ISO9660JolietFileTree_GetFirstKid(tree, foreignNode) == NULL, "foreign kid");
  CHECK(Halvorin_ISO9660JolietFileTree_GetFirstKid(tree, NULL) == NULL, "null node's kid");
  CHECK(Power(tree, foreignNode) == 0, "foreign power");
  CHECK(Halvorin_ISO9660JolietFileTree_SetNames(tree, foreignNode, NULL, "y", "Y") == 0,
        "foreign rename");
  Halvorin_ISO9660JolietFileTree_GetNames(tree, foreignNode, path, longName, shortName);
  CHECK(path[0] == 0 && longName[0] == 0 && shortName[0] == 0, "foreign names are zeroed");
  void* node = foreignNode;
  CHECK(Halvorin_ISO9660JolietFileTree_Remove(tree, &node) == 0 && node == foreignNode,
        "foreign remove");
  CHECK(Halvorin_ISO9660JolietFileTree_Add(tree, text, sizeof text, &systemError, NULL, "x", 2,
                                           &node) == HALVORIN_STATUS_INVALID_ARGUMENT,
        "add under a foreign parent: %s", text);
}

/* Names and paths longer than the 260-byte buffers are cut and terminated inside them. */
static void CheckLongNames(void* tree) {
  char name[301];
  void* folder = NULL;
  void* parent = NULL;
  void* top = NULL;
  for (int depth = 0; depth < 3; ++depth) {
    memset(name, 'n', 200);
    name[0] = (char)('a' + depth);
    name[200] = 0;
    void* at = folder;
    CHECK(Halvorin_ISO9660JolietFileTree_Add(tree, text, sizeof text, &systemError, NULL, name, 2,
                                             &at) == HALVORIN_STATUS_SUCCESS,
          "deep folder %d: %s", depth, text);
    parent = folder;
    folder = Kid(tree, folder ? folder : Halvorin_ISO9660JolietFileTree_GetRoot(tree), name);
    CHECK(folder != NULL, "deep folder %d found", depth);
    if (!folder) return;
    if (!top) top = folder;
  }
  memset(name, 'n', 300);
  name[300] = 0;
  CHECK(Halvorin_ISO9660JolietFileTree_GetParent(tree, folder) == parent, "deep parent");

  unsigned char buffer[kMaxPath + kSlack];
  memset(buffer, kCanary, sizeof buffer);
  CHECK(Halvorin_ISO9660JolietFileTree_GetFullPath(tree, folder, (char*)buffer) ==
            HALVORIN_NODE_TYPE_NO_DISK_PATH,
        "deep path's type");
  CHECK(strnlen((char*)buffer, kMaxPath) < kMaxPath && AllCanary(buffer + kMaxPath, kSlack),
        "a path of over 600 characters stays in its buffer");
  CHECK(strncmp((char*)buffer, "\\annn", 5) == 0, "the path is cut at its end: %.20s", buffer);

  CHECK(Halvorin_ISO9660JolietFileTree_SetNames(tree, folder, NULL, name, "LONG") == 1, "rename");
  unsigned char names[3][kMaxPath + kSlack];
  memset(names, kCanary, sizeof names);
  Halvorin_ISO9660JolietFileTree_GetNames(tree, folder, (char*)names[0], (char*)names[1],
                                          (char*)names[2]);
  CHECK(names[0][0] == 0, "a virtual folder has no disk path");
  CHECK(strlen((char*)names[1]) == kMaxPath - 1 && strspn((char*)names[1], "n") == kMaxPath - 1,
        "a 300-character name is cut to 259: %zu", strlen((char*)names[1]));
  CHECK(strcmp((char*)names[2], "LONG") == 0, "short name %s", (char*)names[2]);
  for (int i = 0; i < 3; ++i)
    CHECK(AllCanary(names[i] + kMaxPath, kSlack), "names buffer %d overrun", i);

  /* A disk path of 260 characters or more is refused; the text is cut to its length. */
  char longPath[400] = "Z:\\";
  memset(longPath + 3, 'p', sizeof longPath - 4);
  longPath[sizeof longPath - 1] = 0;
  for (size_t length = kMaxPath; length <= sizeof longPath - 1; length += 139) {
    longPath[length] = 0;
    unsigned char shortText[16];
    memset(shortText, kCanary, sizeof shortText);
    void* at = NULL;
    CHECK(Halvorin_ISO9660JolietFileTree_Add(tree, (char*)shortText, 8, &systemError, longPath,
                                             NULL, 2, &at) == HALVORIN_STATUS_INVALID_ARGUMENT,
          "a %zu-character path", length);
    CHECK(strnlen((char*)shortText, 8) == 7 && AllCanary(shortText + 8, 8),
          "the text is cut to 7 characters and terminated");
    longPath[length] = 'p';
  }

  void* removed = top;
  CHECK(Halvorin_ISO9660JolietFileTree_Remove(tree, &removed) == 1 && removed == NULL,
        "remove the deep folders");
}

/* Sizes past 4 GiB come back in two halves; the block is reserved, never touched. */
static void CheckSizesPastFourGibibytes(void) {
  const uint64_t size = (1ull << 32) + 5;
  void* block = mmap(NULL, size, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  CHECK(block != MAP_FAILED, "reserve 4 GiB");
  if (block == MAP_FAILED) return;
  Events events = {0, 0};
  void* tree = Create(&events);
  void* parent = NULL;
  CHECK(Halvorin_ISO9660JolietFileTree_AddMemory(tree, text, sizeof text, &systemError, block, 5, 1,
                                                 "big.bin", 2, &parent) == HALVORIN_STATUS_SUCCESS,
        "add 4 GiB + 5: %s", text);
  void* root = Halvorin_ISO9660JolietFileTree_GetRoot(tree);
  void* big = Kid(tree, root, "big.bin");
  uint64_t fileSize = 0;
  CHECK(Halvorin_ISO9660JolietFileTree_GetFileSizeInUCHARs(tree, big, &fileSize) == 0 &&
            fileSize == size,
        "file size %llu", (unsigned long long)fileSize);
  CHECK(Power(tree, big) == size && Power(tree, root) == size, "power %llu",
        (unsigned long long)Power(tree, root));
  CHECK(Halvorin_ISO9660JolietFileTree_BuildImage(tree, text, sizeof text, &systemError, 0, 0, 0,
                                                  "BIG", NULL, NULL) == HALVORIN_STATUS_SUCCESS,
        "build big: %s", text);
  const uint64_t image = ImageSize(tree);
  CHECK(image > size && image % 2048 == 0 && image < size + (1u << 20), "image %llu",
        (unsigned long long)image);
  Halvorin_Destroy(&tree);
  munmap(block, size);
}

int main(int argc, char** argv) {
  if (argc != 4) {
    printf("usage: %s SOURCE IMAGE START\n", argv[0]);
    return 100;
  }
  const char* source = argv[1];
  const char* imagePath = argv[2];
  const int32_t start = (int32_t)strtol(argv[3], NULL, 10);

  Halvorin_UpStart();
  Events events = {0, 0};
  void* tree = Create(&events);
  if (!tree) return failures;
  /* The root comes with the first addition. */
  CHECK(Halvorin_ISO9660JolietFileTree_GetRoot(tree) == NULL, "a new tree has no root");
  CHECK(Halvorin_ISO9660JolietFileTree_GetLevel(tree) == 0, "level %u",
        (unsigned)Halvorin_ISO9660JolietFileTree_GetLevel(tree));

  /* The disk folder, given with a trailing backslash. */
  char path[kMaxPath], longName[kMaxPath], shortName[kMaxPath];
  char withBackslash[kMaxPath + 2];
  snprintf(withBackslash, sizeof withBackslash, "%s\\", source);
  void* parent = NULL;
  HALVORIN_STATUS s = Halvorin_ISO9660JolietFileTree_Add(tree, text, sizeof text, &systemError,
                                                         withBackslash, NULL, 2, &parent);
  CHECK(s == HALVORIN_STATUS_SUCCESS, "add %s: %u %s", withBackslash, (unsigned)s, text);
  CHECK(events.added >= 6, "added %d names", events.added);
  void* root = Halvorin_ISO9660JolietFileTree_GetRoot(tree);
  CHECK(root != NULL, "the first addition made the root");
  CHECK(Halvorin_ISO9660JolietFileTree_GetParent(tree, root) == NULL, "the root has no parent");
  CHECK(Halvorin_ISO9660JolietFileTree_GetAttributes(tree, root) & kDirectory, "root is a folder");
  CHECK(Halvorin_ISO9660JolietFileTree_GetFullPath(tree, root, path) != 0 && path[0] == 0,
        "the root's full path is empty: %s", path);
  void* src = Kid(tree, root, "src");
  CHECK(src != NULL, "src is a kid of the root");
  Halvorin_ISO9660JolietFileTree_GetNames(tree, src, path, longName, shortName);
  CHECK(strcmp(path, source) == 0 || strcmp(path, withBackslash) == 0, "src's path %s", path);
  CHECK(strcmp(shortName, "src") == 0, "src's short name %s", shortName);
  CHECK(Halvorin_ISO9660JolietFileTree_GetParent(tree, src) == root, "src's parent");
  CHECK(Halvorin_ISO9660JolietFileTree_GetAttributes(tree, src) & kDirectory, "src is a folder");
  CHECK(Halvorin_ISO9660JolietFileTree_GetFullPath(tree, src, path) == HALVORIN_NODE_TYPE_DISK &&
            strcmp(path, "\\src") == 0,
        "src's full path %s", path);
  /* root, src, a, b, c, leaf.txt */
  CHECK(Halvorin_ISO9660JolietFileTree_GetLevel(tree) == 6, "level %u",
        (unsigned)Halvorin_ISO9660JolietFileTree_GetLevel(tree));
  void* leaf = Kid(tree, Kid(tree, Kid(tree, Kid(tree, src, "a"), "b"), "c"), "leaf.txt");
  CHECK(leaf != NULL, "src\\a\\b\\c\\leaf.txt");
  CHECK(Halvorin_ISO9660JolietFileTree_GetFullPath(tree, leaf, NULL) == HALVORIN_NODE_TYPE_DISK,
        "a file's type without a buffer");
  SYSTEMTIME time;
  memset(&time, 0, sizeof time);
  CHECK(Halvorin_ISO9660JolietFileTree_GetNodeSystemTime(tree, leaf, &time) == 0 &&
            time.wYear >= 2020 && time.wMonth >= 1 && time.wMonth <= 12,
        "leaf's year %u", (unsigned)time.wYear);
  CHECK(Halvorin_ISO9660JolietFileTree_GetNodeSystemTime(tree, leaf, NULL) ==
            HALVORIN_STATUS_INVALID_ARGUMENT,
        "a null time pointer");
  uint8_t date[7] = {0};
  CHECK(Halvorin_ISO9660JolietFileTree_GetNodeISO9660DateTime(tree, leaf, date) == 0 &&
            date[0] == time.wYear - 1900 && date[1] == time.wMonth,
        "leaf's ISO date %u-%u", (unsigned)date[0], (unsigned)date[1]);
  const uint64_t sourcePower = Power(tree, src);

  /* A virtual folder with a memory block, and one more block that is removed again. */
  parent = NULL;
  s = Halvorin_ISO9660JolietFileTree_Add(tree, text, sizeof text, &systemError, NULL, "mem", 2,
                                         &parent);
  CHECK(s == HALVORIN_STATUS_SUCCESS, "add mem: %s", text);
  void* mem = Kid(tree, root, "mem");
  CHECK(mem != NULL, "mem is a kid of the root");
  Halvorin_ISO9660JolietFileTree_GetNames(tree, mem, path, longName, shortName);
  CHECK(path[0] == 0, "a virtual folder's path is empty: %s", path);
  CHECK(Halvorin_ISO9660JolietFileTree_GetFullPath(tree, mem, path) ==
                HALVORIN_NODE_TYPE_NO_DISK_PATH &&
            strcmp(path, "\\mem") == 0,
        "mem's full path %s", path);
  unsigned char* block = malloc(kBlockSize);
  for (size_t i = 0; i < kBlockSize; ++i) block[i] = (unsigned char)((i * 7 + 3) & 0xFF);
  void* at = mem;
  s = Halvorin_ISO9660JolietFileTree_AddMemory(tree, text, sizeof text, &systemError, block,
                                               kBlockSize, 0, "block.bin", 2, &at);
  CHECK(s == HALVORIN_STATUS_SUCCESS, "add memory: %s", text);
  at = mem;
  s = Halvorin_ISO9660JolietFileTree_AddMemory(tree, text, sizeof text, &systemError, block, 10, 0,
                                               "drop.bin", 2, &at);
  CHECK(s == HALVORIN_STATUS_SUCCESS, "add drop.bin: %s", text);
  void* blockNode = Kid(tree, mem, "block.bin");
  void* drop = Kid(tree, mem, "drop.bin");
  uint64_t size = 0;
  CHECK(Halvorin_ISO9660JolietFileTree_GetFileSizeInUCHARs(tree, blockNode, &size) == 0 &&
            size == kBlockSize,
        "block size %llu", (unsigned long long)size);
  size = 77;
  CHECK(Halvorin_ISO9660JolietFileTree_GetFileSizeInUCHARs(tree, mem, &size) ==
                HALVORIN_STATUS_INTERNAL_STATE &&
            size == 77,
        "a folder's file size is 3 and leaves the output");
  CHECK(Halvorin_ISO9660JolietFileTree_GetFileSizeInUCHARs(tree, blockNode, NULL) ==
            HALVORIN_STATUS_INVALID_ARGUMENT,
        "a null size pointer");
  CHECK(Power(tree, root) == sourcePower + kBlockSize + 10, "root power %llu",
        (unsigned long long)Power(tree, root));
  const int removedBefore = events.removed;
  CHECK(Halvorin_ISO9660JolietFileTree_Remove(tree, &drop) == 1 && drop == NULL, "remove");
  CHECK(events.removed > removedBefore, "the removal was reported");
  CHECK(Kid(tree, mem, "drop.bin") == NULL, "drop.bin is gone");
  CHECK(Power(tree, root) == sourcePower + kBlockSize, "root power after removal");

  /* Bad handles, against a node of a second tree. */
  Events otherEvents = {0, 0};
  void* other = Create(&otherEvents);
  at = NULL;
  Halvorin_ISO9660JolietFileTree_AddMemory(other, text, sizeof text, &systemError, block, 4, 0,
                                           "other.bin", 2, &at);
  void* foreignNode = Kid(other, Halvorin_ISO9660JolietFileTree_GetRoot(other), "other.bin");
  CHECK(foreignNode != NULL, "the other tree's node");
  CheckBadHandles(tree, foreignNode);
  Halvorin_Destroy(&other);
  CHECK(other == NULL, "destroy clears the handle");

  CheckLongNames(tree);
  CheckSizesPastFourGibibytes();

  /* Lay out at the start address, read in odd chunks, read the start again after a rewind. */
  s = Halvorin_ISO9660JolietFileTree_BuildImage(tree, text, sizeof text, &systemError, start, 0, 1,
                                                "HALVORINC", "Publisher C", NULL);
  CHECK(s == HALVORIN_STATUS_SUCCESS, "build: %u %s", (unsigned)s, text);
  CHECK(Halvorin_ISO9660JolietFileTree_BuildImage(tree, text, sizeof text, &systemError, start, 0,
                                                  1, "HALVORINC", NULL,
                                                  NULL) == HALVORIN_STATUS_INTERNAL_STATE,
        "a second build gives 3");
  parent = NULL;
  CHECK(Halvorin_ISO9660JolietFileTree_Add(tree, text, sizeof text, &systemError, NULL, "late", 2,
                                           &parent) == HALVORIN_STATUS_INTERNAL_STATE,
        "a built tree refuses additions");
  const uint64_t imageSize = ImageSize(tree);
  CHECK(imageSize % 2048 == 0 && imageSize > sourcePower + kBlockSize, "image size %llu",
        (unsigned long long)imageSize);
  char small[16];
  CHECK(Halvorin_ISO9660JolietFileTree_Read(tree, text, sizeof text, &systemError, -1, small) ==
            HALVORIN_STATUS_INVALID_ARGUMENT,
        "a negative count");
  CHECK(Halvorin_ISO9660JolietFileTree_Read(tree, text, sizeof text, &systemError, 5, NULL) ==
            HALVORIN_STATUS_INVALID_ARGUMENT,
        "a null buffer");
  s = WriteImage(tree, imagePath, imageSize);
  CHECK(s == HALVORIN_STATUS_SUCCESS, "read: %u %s", (unsigned)s, text);

  CHECK(Halvorin_ISO9660JolietFileTree_SeekToBegin(tree, text, sizeof text, &systemError) == 0,
        "rewind: %s", text);
  static char again[16 * 2048 + 6];
  CHECK(Halvorin_ISO9660JolietFileTree_Read(tree, text, sizeof text, &systemError,
                                            (int32_t)sizeof again, again) == 0,
        "read after rewind: %s", text);
  CHECK(memcmp(again + 16 * 2048, "\1CD001", 6) == 0, "the primary descriptor at sector 16");
  FILE* in = fopen(imagePath, "rb");
  static char written[sizeof again];
  CHECK(in && fread(written, 1, sizeof written, in) == sizeof written &&
            memcmp(written, again, sizeof again) == 0,
        "the rewound stream matches the file");
  if (in) fclose(in);

  Halvorin_Destroy(&tree);
  CHECK(tree == NULL, "destroy clears the handle");
  free(block);
  return failures;
}
