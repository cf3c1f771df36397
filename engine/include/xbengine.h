/* xbengine.h: the C interface of libxbengine, the project's xBase engine.
 *
 * Rules that hold for every entry:
 * - Every entry acts on the work area last chosen with xb_Select (or opened with xb_UseEx).
 * - Texts are NUL-terminated byte strings, stored and returned unchanged (no code page).
 * - Booleans: a boolean result is -1 for true and 0 for false; a boolean argument is true
 *   when non-zero.
 * - A returned `const char*` points into storage owned by the engine. It stays valid until the
 *   next call of an entry on the same thread that returns text; copy it to keep it.
 * - A returned `char*` (xb_GetMemo) is owned by the caller and released with xb_MemDealloc;
 *   an empty memo gives NULL.
 * - Entries that act (moves, writes, xb_Commit, xb_Close, xb_AppendFrom, ...) give -1 on
 *   success and 0 on failure. xb_GetRecord gives the record length copied, xb_GetBlob the
 *   bytes copied, xb_PutBlob the bytes stored. xb_Select gives the area current before.
 *   Setting entries (xb_SetExact, xb_SetEpoch, xb_ErrorLevel, ...) give the previous value.
 * - No entry throws, aborts or crashes on a bad work area, a closed area, a null pointer or a
 *   bad argument: it returns its neutral result (0, 0.0, "" or NULL) and records the reason,
 *   which xb_ErrorText gives in words.
 *
 * The list of entries exists once, as XB_ENTRIES below: the library defines each entry from it
 * and the binding resolves each one by it. Each row is
 *   X(result type, name, (parameters), neutral result)
 */
#ifndef XBENGINE_H
#define XBENGINE_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(XBENGINE_BUILD)
#define XB_API __attribute__((visibility("default")))
#else
#define XB_API
#endif

/* Open modes of xb_UseEx. */
#define XB_OPEN_SHARED 0
#define XB_OPEN_READONLY 1
#define XB_OPEN_EXCLUSIVE 2
/* Driver code of xb_UseEx: DBF tables with FoxPro compound CDX indexes and FPT memos. */
#define XB_DRIVER_CDX 2
/* Commit levels of xb_UseEx: clNone may defer, clNormal hands each commit to the OS (safe
 * against a crash of the process), clFull syncs to disk at every commit. */
#define XB_COMMIT_NONE 0
#define XB_COMMIT_NORMAL 1
#define XB_COMMIT_FULL 2
/* Result of xb_EvalTest: the type of a valid expression. */
#define XB_EXPR_INVALID 0
#define XB_EXPR_CHARACTER 1
#define XB_EXPR_NUMERIC 2
#define XB_EXPR_LOGICAL 3
#define XB_EXPR_DATE 4
/* Value type of xb_Replace: text stored into a memo field. Any other type stores the text into
 * the field as xb_PutRecord would hold it: cut or padded with blanks to the field's width; for
 * N and F fields the text is trimmed and right-aligned, and a text wider than the field is
 * refused (result 0). */
#define XB_REPLACE_MEMO 3072
/* Source type of xb_AppendFrom: comma-delimited text. */
#define XB_SOURCE_DELIMITED 21
/* Codes of xb_SysProp. */
#define XB_PROP_DELETED_HIDDEN 1006 /* (1006, 0): non-zero while deleted records are hidden */
#define XB_PROP_EXACT_GET 1002      /* (1002, 0): the exact-match switch, non-zero = on */
#define XB_PROP_EXACT_SET 1003      /* (1003, v): sets the exact-match switch, 1 on, 0 off */
#define XB_PROP_OPTBUF_GET 1008     /* (1008, 0): the optimistic-buffer switch */
#define XB_PROP_OPTBUF_SET 1009     /* (1009, v): sets the optimistic-buffer switch */
#define XB_PROP_ORDER_COUNT 3000    /* (3000, 0): number of orders of the work area */
#define XB_PROP_DESCENDING 3002     /* (3002, 0): non-zero when the controlling order descends */

/* clang-format off */
#define XB_ENTRIES(X)                                                                             \
  /* Work areas and settings */                                                                   \
  X(int32_t, xb_UseEx, (const char* path, const char* alias, int32_t openMode, int32_t driver,    \
                        int32_t commitLevel), 0)                                                  \
  X(int32_t, xb_Select, (int32_t area), 0)                                                        \
  X(int32_t, xb_WorkArea, (const char* alias), 0)                                                 \
  X(const char*, xb_Alias, (int32_t area), "")                                                    \
  X(int32_t, xb_Close, (void), 0)                                                                 \
  X(int32_t, xb_Commit, (void), 0)                                                                \
  X(int32_t, xb_ErrorLevel, (int32_t level), 0)                                                   \
  X(const char*, xb_Version, (void), "")                                                          \
  X(int32_t, xb_SysProp, (int32_t code, int32_t value), 0)                                        \
  X(int32_t, xb_SetStringType, (int32_t type), 0)                                                 \
  X(int32_t, xb_SetTranslate, (int32_t on), 0)                                                    \
  X(int32_t, xb_SetTurboRead, (int32_t on), 0)                                                    \
  X(int32_t, xb_SetPassword, (const char* password), 0)                                           \
  X(int32_t, xb_IsEncrypted, (int32_t area), 0)                                                   \
  X(int32_t, xb_SetExact, (int32_t on), 0)                                                        \
  X(int32_t, xb_SetSoftSeek, (int32_t on), 0)                                                     \
  X(int32_t, xb_SetDeleted, (int32_t hide), 0)                                                    \
  X(int32_t, xb_SetEpoch, (int32_t year), 0)                                                      \
  X(int32_t, xb_SetCentury, (int32_t on), 0)                                                      \
  X(int32_t, xb_SetDateFormat, (int32_t code), 0)                                                 \
  X(int32_t, xb_SetMemoBlockSize, (int32_t size), 0)                                              \
  X(int32_t, xb_SetLockTimeout, (int32_t seconds), 0)                                             \
  X(const char*, xb_ErrorText, (void), "")                                                        \
  /* Creates a new table (and its FPT when a field is of type M) and closes it again. fields   \
   * is "NAME,TYPE,WIDTH,DECIMALS" per field, fields separated by ";". Refuses to replace an    \
   * existing file. Beyond the entries of the original library. */                              \
  X(int32_t, xb_CreateTable, (const char* path, const char* fields), 0)                           \
  /* Structure */                                                                                 \
  X(int32_t, xb_FieldCount, (void), 0)                                                            \
  X(const char*, xb_FieldName, (int32_t index), "")                                               \
  X(const char*, xb_FieldType, (const char* field), "")                                           \
  X(int32_t, xb_FieldWidth, (const char* field), 0)                                               \
  X(int32_t, xb_FieldDecimals, (const char* field), 0)                                            \
  X(int32_t, xb_FieldOffset, (const char* field), 0)                                              \
  X(int32_t, xb_RecSize, (void), 0)                                                               \
  /* Records */                                                                                   \
  X(int32_t, xb_GoTop, (void), 0)                                                                 \
  X(int32_t, xb_GoBottom, (void), 0)                                                              \
  X(int32_t, xb_Skip, (int32_t count), 0)                                                         \
  X(int32_t, xb_Go, (int32_t recno), 0)                                                           \
  X(int32_t, xb_RecNo, (void), 0)                                                                 \
  X(int32_t, xb_RecCount, (void), 0)                                                              \
  X(int32_t, xb_Count, (void), 0)                                                                 \
  X(int32_t, xb_Eof, (void), 0)                                                                   \
  X(int32_t, xb_Bof, (void), 0)                                                                   \
  X(int32_t, xb_GetRecord, (char* buffer), 0)                                                     \
  X(int32_t, xb_PutRecord, (const char* buffer), 0)                                               \
  X(const char*, xb_GetString, (const char* field), "")                                           \
  X(const char*, xb_GetTrimString, (const char* field), "")                                       \
  X(int32_t, xb_GetInteger, (const char* field), 0)                                               \
  X(double, xb_GetDouble, (const char* field), 0.0)                                               \
  X(const char*, xb_GetDateString, (const char* field), "")                                       \
  X(int32_t, xb_Replace, (const char* field, int32_t type, const char* value), 0)                 \
  X(int32_t, xb_AppendBlank, (void), 0)                                                           \
  X(int32_t, xb_Delete, (void), 0)                                                                \
  X(int32_t, xb_Recall, (void), 0)                                                                \
  X(int32_t, xb_Deleted, (void), 0)                                                               \
  X(int32_t, xb_Pack, (void), 0)                                                                  \
  X(int32_t, xb_Zap, (void), 0)                                                                   \
  X(int32_t, xb_Rlock, (int32_t recno), 0)                                                        \
  X(int32_t, xb_Unlock, (int32_t recno), 0)                                                       \
  /* Memo and blob */                                                                             \
  X(char*, xb_GetMemo, (const char* field, int32_t lineWidth), NULL)                              \
  X(int32_t, xb_GetBlob, (const char* field, char* buffer), 0)                                    \
  X(int32_t, xb_GetBlobLength, (const char* field), 0)                                            \
  X(int32_t, xb_PutBlob, (const char* field, const char* data, int32_t length), 0)                \
  X(int32_t, xb_MemDealloc, (void* memory), 0)                                                    \
  /* Expressions and queries */                                                                   \
  X(int32_t, xb_EvalTest, (const char* expression), 0)                                            \
  X(const char*, xb_EvalString, (const char* expression), "")                                     \
  X(double, xb_EvalNumeric, (const char* expression), 0.0)                                        \
  X(int32_t, xb_EvalLogical, (const char* expression), 0)                                         \
  X(int32_t, xb_Query, (const char* condition), 0)                                                \
  X(int32_t, xb_QueryTest, (const char* condition), 0)                                            \
  X(int32_t, xb_QueryRecCount, (void), 0)                                                         \
  X(const char*, xb_DBFilter, (void), "")                                                         \
  X(int32_t, xb_AppendFrom, (const char* file, int32_t sourceType, const char* condition), 0)     \
  /* Indexes and orders */                                                                        \
  X(int32_t, xb_IndexTag, (const char* file, const char* tag, const char* expression,             \
                           int32_t option, int32_t descending, const char* condition), 0)         \
  X(int32_t, xb_TagArea, (const char* tag), 0)                                                    \
  X(int32_t, xb_SetOrder, (int32_t order), 0)                                                     \
  X(int32_t, xb_IndexOrd, (void), 0)                                                              \
  X(const char*, xb_TagName, (int32_t order), "")                                                 \
  X(const char*, xb_IndexName, (int32_t order), "")                                               \
  X(const char*, xb_IndexKey, (void), "")                                                         \
  X(const char*, xb_IndexKeyField, (void), "")                                                    \
  X(int32_t, xb_IndexType, (void), 0)                                                             \
  X(const char*, xb_IndexCondition, (void), "")                                                   \
  X(int32_t, xb_IndexOpen, (const char* file), 0)                                                 \
  X(int32_t, xb_CloseIndexes, (void), 0)                                                          \
  X(int32_t, xb_Reindex, (void), 0)                                                               \
  X(int32_t, xb_Seek, (const char* key), 0)                                                       \
  X(int32_t, xb_Found, (void), 0)                                                                 \
  X(int32_t, xb_SetScope, (const char* low, const char* high), 0)                                 \
  X(const char*, xb_GetScope, (int32_t which), "")                                                \
  X(double, xb_OrderPosGet, (void), 0.0)                                                          \
  X(int32_t, xb_OrderPosSet, (double position), 0)
/* clang-format on */

#define XB_DECLARE_ENTRY(ret, name, params, neutral) XB_API ret name params;
XB_ENTRIES(XB_DECLARE_ENTRY)
#undef XB_DECLARE_ENTRY

#ifdef __cplusplus
}
#endif

#endif /* XBENGINE_H */
