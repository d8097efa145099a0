/*
 * folderscan: lists a folder, or a folder and all its subfolders, keeps the
 * entries whose names match wildcard patterns, and returns them as an N x 1
 * structure array with the fields name, date, bytes, isdir and datenum.
 *
 * Arguments: any number of strings or cell arrays of strings, taken in order.
 * A string holding "*" is a pattern (the first one may carry the folder in
 * front of its last separator); a string holding "-r" switches on the
 * recursive listing; the first other string is the folder, later ones are
 * patterns (names, or patterns using "?"). Anything else is skipped with a
 * message. Without a folder the current folder is listed; without a pattern
 * every entry is, "." and ".." included.
 *
 * In a recursive listing the contents of a subfolder come before the
 * subfolder's own record, and names below the start folder carry their path
 * relative to it. A folder reached through a symbolic link (on Windows, a
 * reparse point such as a junction) is listed but never entered, and a folder
 * that is one of the folders being listed above it is not entered again, so
 * a listing always ends.
 *
 * Records are collected in growing host memory and the result array is made
 * once, at its final size, through the public MEX API: element by element,
 * or, where the host converts such an array element by element once more
 * when the call returns (Octave), by the host's own functions from a few
 * flat arrays (host_flavour.h). Paths, names and the pattern list all grow
 * as needed; no fixed-size buffer is used.
 *
 * Where the host lets a MEX file see a pending interrupt (Ctrl-C in Octave),
 * the listing stops at the next entry, closes every folder it holds open and
 * ends with the error simblocks:folderscan:interrupted.
 *
 * The platform layer is a handful of small functions: the current folder,
 * the absolute-path test, opening a folder (the start folder or a subfolder;
 * on POSIX a listing holds a bounded number of descriptors at any depth),
 * reading its next entry name, the status of an entry (size, directory bit,
 * last write time in local calendar fields to the millisecond), closing, and
 * the conversion of local calendar fields to a count of 100-ns ticks since
 * 1 January 1601. POSIX and Windows implement each of them.
 */
#ifndef _WIN32
/* 64-bit file sizes, inode numbers and times on 32-bit hosts too. */
#define _FILE_OFFSET_BITS 64
#define _TIME_BITS 64
#endif

#include <ctype.h>
#include <errno.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>

#ifdef _WIN32
#include <direct.h>
#include <windows.h>
#else
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <time.h>
#include <unistd.h>
#endif

#include "host_flavour.h"
#include "mex.h"

/* ---------------------------------------------------------------------------
 * Growing blocks of host memory.
 * ------------------------------------------------------------------------- */

/*
 * Resizes a host block to count elements of elem bytes. A size that does not
 * fit in memory sizes, or memory the host cannot give, ends the call with
 * the host's error rather than leaving a short block to write past.
 */
static void *resize_block(void *block, size_t count, size_t elem)
{
    void *p = count <= ((size_t)-1) / elem ? mxRealloc(block, count * elem) : NULL;
    if (p == NULL) mexErrMsgIdAndTxt("simblocks:folderscan:outOfMemory", "Out of memory.");
    return p;
}

/* The next capacity of a growing block: double, or exactly what is needed. */
static size_t next_capacity(size_t cap, size_t need, size_t first)
{
    size_t next = cap != 0 ? cap : first;
    while (next < need) next = next <= ((size_t)-1) / 2 ? next * 2 : need;
    return next;
}

typedef struct {
    char *text; /* zero-terminated once anything was appended */
    size_t len;
    size_t cap;
} TextBuffer;

static void text_reserve(TextBuffer *b, size_t extra)
{
    if (extra >= ((size_t)-1) - b->len) mexErrMsgIdAndTxt("simblocks:folderscan:outOfMemory", "Out of memory.");
    size_t need = b->len + extra + 1;
    if (need <= b->cap) return;
    b->cap = next_capacity(b->cap, need, 256);
    b->text = (char *)resize_block(b->text, b->cap, 1);
}

static void text_append(TextBuffer *b, const char *s, size_t n)
{
    text_reserve(b, n);
    memcpy(b->text + b->len, s, n);
    b->len += n;
    b->text[b->len] = '\0';
}

static void text_append_char(TextBuffer *b, char c) { text_append(b, &c, 1); }

static void text_truncate(TextBuffer *b, size_t len)
{
    if (b->text == NULL) return;
    b->len = len;
    b->text[len] = '\0';
}

/* ---------------------------------------------------------------------------
 * Paths.
 * ------------------------------------------------------------------------- */

#ifdef _WIN32
static const char kSep = '\\';
static int is_sep(char c) { return c == '\\' || c == '/'; }
#else
static const char kSep = '/';
static int is_sep(char c) { return c == '/'; }
#endif

static int is_dot_name(const char *name)
{
    return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

/* Length of the part of a path that ".." never climbs above. */
static size_t root_length(const char *p)
{
#ifdef _WIN32
    if (isalpha((unsigned char)p[0]) && p[1] == ':') return is_sep(p[2]) ? 3 : 2;
    if (is_sep(p[0]) && is_sep(p[1])) return 2;
    return is_sep(p[0]) ? 1 : 0;
#else
    return p[0] == '/' ? 1 : 0;
#endif
}

/*
 * Resolves "." and ".." segments in place and joins the segments with one
 * separator each. ".." at the root stays at the root; in a relative path that
 * climbs above its start it is kept. The result is never longer.
 */
static void resolve_dots(char *p)
{
    size_t root = root_length(p);
    char *base = p + root;
    char *w = base;
    const char *r = base;
    while (*r != '\0') {
        while (is_sep(*r)) ++r;
        const char *seg = r;
        while (*r != '\0' && !is_sep(*r)) ++r;
        size_t n = (size_t)(r - seg);
        if (n == 0) break;
        if (n == 1 && seg[0] == '.') continue;
        if (n == 2 && seg[0] == '.' && seg[1] == '.') {
            if (w > base) {
                char *last = w;
                while (last > base && !is_sep(last[-1])) --last;
                if (!(w - last == 2 && last[0] == '.' && last[1] == '.')) {
                    w = last > base ? last - 1 : last;
                    continue;
                }
            } else if (root > 0) {
                continue;
            }
        }
        if (w > base) *w++ = kSep;
        memmove(w, seg, n);
        w += n;
    }
    *w = '\0';
}

/* out = folder and name joined by one separator, "." and ".." resolved. */
static void path_join(TextBuffer *out, const char *folder, const char *name)
{
    text_truncate(out, 0);
    size_t flen = strlen(folder);
    text_append(out, folder, flen);
    if (flen > 0 && name[0] != '\0' && !is_sep(folder[flen - 1])) text_append_char(out, kSep);
    text_append(out, name, strlen(name));
    resolve_dots(out->text);
    out->len = strlen(out->text);
}

/* ---------------------------------------------------------------------------
 * Platform layer.
 * ------------------------------------------------------------------------- */

/* Local calendar fields of a last-write time; month 0 when not filled. */
typedef struct {
    int year, month, day, hour, minute, second, millisecond;
} LocalTime;

typedef struct {
    uint32_t size_high, size_low;
    int is_dir;    /* the directory bit (of the link's target for a link) */
    int can_enter; /* a folder that a recursive listing may enter */
    int time_ok;   /* 'when' was filled */
    LocalTime when;
} EntryStatus;

#ifdef _WIN32

typedef struct {
    HANDLE find;
    WIN32_FIND_DATAA data;
    int pending; /* 'data' holds an entry not yet handed out */
    TextBuffer path;
} FolderScan;

static int current_folder(TextBuffer *out)
{
    size_t cap = 260;
    for (;;) {
        text_truncate(out, 0);
        text_reserve(out, cap);
        if (_getcwd(out->text, (int)(cap + 1)) != NULL) {
            out->len = strlen(out->text);
            return 1;
        }
        if (errno != ERANGE) return 0;
        cap *= 2;
    }
}

static int is_absolute(const char *path) { return strchr(path, ':') != NULL; }

/* The zone rules are read by every conversion. */
static void refresh_time_zone(void) {}

static int scan_open_path(FolderScan *s)
{
    /* Paths of any length are built; the system decides how long it accepts
     * (MAX_PATH unless long paths are enabled). */
    TextBuffer pattern = {NULL, 0, 0};
    text_append(&pattern, s->path.text, s->path.len);
    if (pattern.len > 0 && !is_sep(pattern.text[pattern.len - 1])) text_append_char(&pattern, '\\');
    text_append_char(&pattern, '*');
    s->find = FindFirstFileA(pattern.text, &s->data);
    mxFree(pattern.text);
    s->pending = s->find != INVALID_HANDLE_VALUE;
    if (!s->pending) {
        mxFree(s->path.text);
        s->path.text = NULL;
    }
    return s->pending;
}

static int scan_open_root(FolderScan *s, const char *folder)
{
    memset(s, 0, sizeof *s);
    text_append(&s->path, folder, strlen(folder));
    return scan_open_path(s);
}

static int scan_open_child(FolderScan *child, const FolderScan *parent, const char *name)
{
    memset(child, 0, sizeof *child);
    path_join(&child->path, parent->path.text, name);
    return scan_open_path(child);
}

static const char *scan_next(FolderScan *s)
{
    if (!s->pending && !FindNextFileA(s->find, &s->data)) return NULL;
    s->pending = 0;
    return s->data.cFileName;
}

static int scan_status(const FolderScan *s, const char *name, EntryStatus *st)
{
    (void)name; /* the status came with the entry */
    const WIN32_FIND_DATAA *d = &s->data;
    memset(st, 0, sizeof *st);
    st->size_high = d->nFileSizeHigh;
    st->size_low = d->nFileSizeLow;
    st->is_dir = (d->dwFileAttributes & 16) != 0;
    st->can_enter = st->is_dir && (d->dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
    SYSTEMTIME utc, local;
    if (FileTimeToSystemTime(&d->ftLastWriteTime, &utc) && SystemTimeToTzSpecificLocalTime(NULL, &utc, &local)) {
        st->time_ok = 1;
        st->when.year = local.wYear;
        st->when.month = local.wMonth;
        st->when.day = local.wDay;
        st->when.hour = local.wHour;
        st->when.minute = local.wMinute;
        st->when.second = local.wSecond;
        st->when.millisecond = local.wMilliseconds;
    }
    return 1;
}

static void scan_close(FolderScan *s)
{
    FindClose(s->find);
    mxFree(s->path.text);
}

/* 100-ns ticks since 1 January 1601 of local calendar fields, as two halves. */
static int local_ticks(const LocalTime *t, int32_t *high, uint32_t *low)
{
    SYSTEMTIME local;
    FILETIME ft;
    local.wYear = (WORD)t->year;
    local.wMonth = (WORD)t->month;
    local.wDayOfWeek = 0;
    local.wDay = (WORD)t->day;
    local.wHour = (WORD)t->hour;
    local.wMinute = (WORD)t->minute;
    local.wSecond = (WORD)t->second;
    local.wMilliseconds = (WORD)t->millisecond;
    if (!SystemTimeToFileTime(&local, &ft)) return 0;
    *high = (int32_t)ft.dwHighDateTime;
    *low = ft.dwLowDateTime;
    return 1;
}

#else /* POSIX */

/*
 * The folders of a recursive listing down to this depth keep their folder
 * open while they are listed, so that each entry is read and looked at once.
 * Deeper folders are read whole (names and status) as soon as they are opened
 * and closed at once; a subfolder of such a folder is reached again from the
 * deepest folder still open, one name at a time. So a listing holds at most
 * this many descriptors, however deep the tree and whatever the process's
 * descriptor limit.
 */
enum { kOpenLevels = 16 };

typedef struct FolderScanTag {
    DIR *dir;  /* open while listed, or null for a folder read whole */
    dev_t dev; /* identity of this folder */
    ino_t ino;
    const struct FolderScanTag *up; /* the folder being listed above it */
    int depth;                      /* 0 for the start folder */
    char *name;                     /* its name in the folder above (read-whole folders) */
    /* A folder read whole: its entries' names (each zero-terminated), their
     * status and whether it could be taken, and the next one to hand out. */
    TextBuffer names;
    struct EntryRecord *entries;
    size_t count, next, at;
} FolderScan;

typedef struct EntryRecord {
    EntryStatus status;
    int known;
} EntryRecord;

static int current_folder(TextBuffer *out)
{
    size_t cap = 256;
    for (;;) {
        text_truncate(out, 0);
        text_reserve(out, cap);
        if (getcwd(out->text, cap + 1) != NULL) {
            out->len = strlen(out->text);
            return 1;
        }
        if (errno != ERANGE) return 0;
        cap *= 2;
    }
}

static int is_absolute(const char *path) { return path[0] == '/'; }

/* localtime_r need not look at TZ again by itself: a zone changed since the
 * last call must count. */
static void refresh_time_zone(void) { tzset(); }

static int entry_status(int dirfd_, const char *name, EntryStatus *st);
static void scan_read_whole(FolderScan *s);

/* Takes over the open folder descriptor fd. */
static int scan_adopt(FolderScan *s, int fd, const FolderScan *up)
{
    struct stat st;
    char *name = s->name;
    memset(s, 0, sizeof *s);
    s->name = name;
    s->up = up;
    s->depth = up != NULL ? up->depth + 1 : 0;
    if (fd < 0) return 0;
    if (fstat(fd, &st) != 0) {
        close(fd);
        return 0;
    }
    s->dev = st.st_dev;
    s->ino = st.st_ino;
    for (const FolderScan *a = up; a != NULL; a = a->up) {
        if (a->dev == s->dev && a->ino == s->ino) {
            close(fd);
            return 0;
        }
    }
    s->dir = fdopendir(fd);
    if (s->dir == NULL) {
        close(fd);
        return 0;
    }
    if (s->depth >= kOpenLevels) scan_read_whole(s);
    return 1;
}

static int scan_open_root(FolderScan *s, const char *folder)
{
    s->name = NULL;
    return scan_adopt(s, open(folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC), NULL);
}

static int open_below(int at, const char *name)
{
    return openat(at, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
}

/*
 * Opened relative to the parent, so depth is not bound by the path length
 * limit. Below a folder that was read whole, the way leads from the deepest
 * folder still open through the names of the folders in between.
 */
static int scan_open_child(FolderScan *child, const FolderScan *parent, const char *name)
{
    child->name = NULL;
    if (parent->depth + 1 >= kOpenLevels) {
        /* A folder that is read whole keeps its name for the way to its subfolders. */
        size_t len = strlen(name);
        child->name = (char *)resize_block(NULL, len + 1, 1);
        memcpy(child->name, name, len + 1);
    }
    int fd = -1;
    if (parent->dir != NULL) {
        fd = open_below(dirfd(parent->dir), name);
    } else {
        const FolderScan *open_one = parent;
        size_t n = 0;
        for (; open_one->dir == NULL; open_one = open_one->up) ++n;
        /* The folders from below open_one down to the parent, in that order. */
        const FolderScan **way = (const FolderScan **)resize_block(NULL, n, sizeof *way);
        size_t i = n;
        for (const FolderScan *f = parent; f != open_one; f = f->up) way[--i] = f;
        int at = dirfd(open_one->dir);
        for (i = 0; i < n && at >= 0; ++i) {
            int next = open_below(at, way[i]->name);
            if (i > 0) close(at);
            at = next;
            /* The very folder that was read, or none. */
            struct stat st;
            if (at >= 0 && (fstat(at, &st) != 0 || st.st_dev != way[i]->dev || st.st_ino != way[i]->ino)) {
                close(at);
                at = -1;
            }
        }
        mxFree(way);
        if (at >= 0) {
            fd = open_below(at, name);
            close(at);
        }
    }
    if (scan_adopt(child, fd, parent)) return 1;
    mxFree(child->name);
    child->name = NULL;
    return 0;
}

static const char *scan_next(FolderScan *s)
{
    if (s->dir == NULL) {
        if (s->next >= s->count) return NULL;
        const char *name = s->names.text + s->at;
        s->at += strlen(name) + 1;
        ++s->next;
        return name;
    }
    struct dirent *e = readdir(s->dir);
    return e != NULL ? e->d_name : NULL;
}

static int scan_status(const FolderScan *s, const char *name, EntryStatus *st)
{
    if (s->dir == NULL) {
        /* The entry scan_next handed out last. */
        const EntryRecord *r = &s->entries[s->next - 1];
        (void)name;
        *st = r->status;
        return r->known;
    }
    return entry_status(dirfd(s->dir), name, st);
}

/* Reads every entry of an open folder with its status, then closes the folder. */
static void scan_read_whole(FolderScan *s)
{
    size_t cap = 0;
    struct dirent *e;
    while ((e = readdir(s->dir)) != NULL) {
        if (s->count == cap) {
            cap = next_capacity(cap, s->count + 1, 16);
            s->entries = (EntryRecord *)resize_block(s->entries, cap, sizeof *s->entries);
        }
        EntryRecord *r = &s->entries[s->count++];
        r->known = entry_status(dirfd(s->dir), e->d_name, &r->status);
        text_append(&s->names, e->d_name, strlen(e->d_name) + 1);
    }
    closedir(s->dir);
    s->dir = NULL;
}

static int entry_status(int dirfd_, const char *name, EntryStatus *st)
{
    struct stat link, target;
    memset(st, 0, sizeof *st);
    if (fstatat(dirfd_, name, &link, AT_SYMLINK_NOFOLLOW) != 0) return 0; /* gone meanwhile */
    const struct stat *info = &link;
    if (S_ISLNK(link.st_mode) && fstatat(dirfd_, name, &target, 0) == 0) info = &target;
    uint64_t size = info->st_size > 0 ? (uint64_t)info->st_size : 0;
    st->size_high = (uint32_t)(size >> 32);
    st->size_low = (uint32_t)size;
    st->is_dir = S_ISDIR(info->st_mode) ? 1 : 0;
    st->can_enter = S_ISDIR(link.st_mode) ? 1 : 0;
#ifdef __APPLE__
    time_t sec = info->st_mtimespec.tv_sec;
    long nsec = info->st_mtimespec.tv_nsec;
#else
    time_t sec = info->st_mtim.tv_sec;
    long nsec = info->st_mtim.tv_nsec;
#endif
    struct tm tm;
    if (localtime_r(&sec, &tm) != NULL) {
        st->time_ok = 1;
        st->when.year = tm.tm_year + 1900;
        st->when.month = tm.tm_mon + 1;
        st->when.day = tm.tm_mday;
        st->when.hour = tm.tm_hour;
        st->when.minute = tm.tm_min;
        st->when.second = tm.tm_sec;
        st->when.millisecond = (int)(nsec / 1000000);
    }
    return 1;
}

static void scan_close(FolderScan *s)
{
    if (s->dir != NULL) closedir(s->dir);
    mxFree(s->names.text);
    mxFree(s->entries);
    mxFree(s->name);
}

/* Days from 1 January 1601 to the given date of the proleptic Gregorian calendar. */
static int64_t days_since_1601(int64_t year, int month, int day)
{
    /* Count from 1 March so that the leap day ends a year. */
    int64_t y = month <= 2 ? year - 1 : year;
    int64_t m = month <= 2 ? month + 9 : month - 3;
    int64_t era = (y >= 0 ? y : y - 399) / 400;
    int64_t yoe = y - era * 400;
    int64_t doy = (153 * m + 2) / 5 + day - 1;
    int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    int64_t days_since_0000_03_01 = era * 146097 + doe;
    /* 1 January 1601 is 584694 days after 1 March of year 0. */
    return days_since_0000_03_01 - 584694;
}

/* Years outside 1601 .. 30827 have no tick count, as on Windows. */
static int local_ticks(const LocalTime *t, int32_t *high, uint32_t *low)
{
    if (t->month < 1 || t->month > 12 || t->year < 1601 || t->year > 30827) return 0;
    int64_t ms = days_since_1601(t->year, t->month, t->day) * 86400000
                 + ((int64_t)t->hour * 3600 + (int64_t)t->minute * 60 + t->second) * 1000 + t->millisecond;
    uint64_t ticks = (uint64_t)(ms * 10000);
    *high = (int32_t)(uint32_t)(ticks >> 32);
    *low = (uint32_t)ticks;
    return 1;
}

#endif

/* ---------------------------------------------------------------------------
 * Wildcard match: characters before the first "*" compare exactly, those
 * after it without regard to case; "?" matches any one character.
 * ------------------------------------------------------------------------- */

static int lower(char c) { return tolower((unsigned char)c); }

static int pattern_rest_is_stars(const char *p)
{
    while (*p == '*') ++p;
    return *p == '\0';
}

static int wildcard_match(const char *p, const char *n)
{
    while (*n != '\0') {
        if (*p == '*') break;
        if (*p != *n && *p != '?') return 0;
        ++p;
        ++n;
    }
    if (*n == '\0') return pattern_rest_is_stars(p);

    const char *m = p; /* pattern position after the last star */
    const char *k = n; /* name position to retry from */
    while (*n != '\0') {
        if (*p == '*') {
            ++p;
            if (*p == '\0') return 1;
            m = p;
            k = n + 1;
        } else if (*p == '?' || (*p != '\0' && lower(*p) == lower(*n))) {
            ++p;
            ++n;
        } else {
            p = m;
            n = k;
            ++k;
        }
    }
    return pattern_rest_is_stars(p);
}

/* ---------------------------------------------------------------------------
 * The listing.
 * ------------------------------------------------------------------------- */

typedef struct {
    size_t name; /* offsets into the text pool */
    size_t date;
    double bytes;
    double datenum;
    int isdir;
} Record;

typedef struct {
    char **patterns;
    size_t npatterns, pattern_cap;
    int recursive;
    Record *records;
    size_t count, record_cap;
    TextBuffer pool;   /* names and dates, each zero-terminated */
    TextBuffer prefix; /* path of the folder being listed, relative to the start folder */
    int interrupted;   /* the user asked the host to stop the call */
} Listing;

static void add_pattern(Listing *L, char *pattern)
{
    if (L->npatterns == L->pattern_cap) {
        L->pattern_cap = next_capacity(L->pattern_cap, L->npatterns + 1, 16);
        L->patterns = (char **)resize_block(L->patterns, L->pattern_cap, sizeof *L->patterns);
    }
    L->patterns[L->npatterns++] = pattern;
}

static int matches_any(const Listing *L, const char *name)
{
    for (size_t i = 0; i < L->npatterns; ++i)
        if (wildcard_match(L->patterns[i], name)) return 1;
    return 0;
}

static const char *const kMonths[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

static char *put_digits(char *p, int value, int width)
{
    for (int i = width - 1; i >= 0; --i) {
        p[i] = (char)('0' + value % 10);
        value /= 10;
    }
    return p + width;
}

/*
 * The date text "%02d-%s-%04d %02d:%02d:%02d" (day, month text, year, hour,
 * minute, second), written by hand where every field has its usual number
 * of digits: printf's parsing costs more than the rest of a record. Returns
 * the length.
 */
static int format_date(char *out, size_t size, const LocalTime *t, const char *month)
{
    if (t->day < 0 || t->day > 99 || t->year < 0 || t->year > 9999 || t->hour < 0 || t->hour > 99 || t->minute < 0 ||
        t->minute > 99 || t->second < 0 || t->second > 99 || strlen(month) != 3 || size < 21)
        return snprintf(out, size, "%02d-%s-%04d %02d:%02d:%02d", t->day, month, t->year, t->hour, t->minute,
                        t->second);
    char *p = put_digits(out, t->day, 2);
    *p++ = '-';
    memcpy(p, month, 3);
    p += 3;
    *p++ = '-';
    p = put_digits(p, t->year, 4);
    *p++ = ' ';
    p = put_digits(p, t->hour, 2);
    *p++ = ':';
    p = put_digits(p, t->minute, 2);
    *p++ = ':';
    p = put_digits(p, t->second, 2);
    *p = '\0';
    return (int)(p - out);
}

static void add_record(Listing *L, const char *name, const EntryStatus *st)
{
    if (L->count == L->record_cap) {
        L->record_cap = next_capacity(L->record_cap, L->count + 1, 256);
        L->records = (Record *)resize_block(L->records, L->record_cap, sizeof *L->records);
    }
    Record *r = &L->records[L->count++];

    /* Name, below the start folder joined to its path there. */
    r->name = L->pool.len;
    if (L->prefix.len == 0) {
        text_append(&L->pool, name, strlen(name) + 1);
    } else {
        text_append(&L->pool, L->prefix.text, L->prefix.len);
        text_append_char(&L->pool, kSep);
        text_append(&L->pool, name, strlen(name));
        if (is_dot_name(name)) {
            /* "sub/." names sub itself, "sub/.." the start folder ("."). */
            char *joined = L->pool.text + r->name;
            resolve_dots(joined);
            if (joined[0] == '\0') strcpy(joined, ".");
            L->pool.len = r->name + strlen(joined);
        }
        text_append_char(&L->pool, '\0');
    }

    /* Date text. */
    const LocalTime *t = &st->when;
    const char *month = "NaN";
    if (t->month >= 1 && t->month <= 12) {
        month = kMonths[t->month - 1];
    } else {
        mexPrintf("Cannon understand month number %d\n", t->month);
    }
    char date[96];
    int n = format_date(date, sizeof date, t, month);
    r->date = L->pool.len;
    text_append(&L->pool, date, (size_t)n + 1);

    r->bytes = (double)st->size_high * 4294967296.0 + (double)st->size_low;
    r->isdir = st->is_dir;
    int32_t high;
    uint32_t low;
    if (st->time_ok && local_ticks(t, &high, &low))
        r->datenum = ((double)high * 4294967296.0 + (double)low) / 864000000000.0 + 584755.0;
    else
        r->datenum = mxGetNaN();
}

static void list_folder(Listing *L, FolderScan *s)
{
    const char *name;
    while ((name = scan_next(s)) != NULL) {
        /* Stopped at once; the callers close their folders on the way up. */
        if (host_interrupt_pending()) L->interrupted = 1;
        if (L->interrupted) return;
        EntryStatus st;
        int known = 0;
        if (L->recursive && !is_dot_name(name)) {
            known = scan_status(s, name, &st);
            FolderScan child;
            if (known && st.can_enter && scan_open_child(&child, s, name)) {
                size_t keep = L->prefix.len;
                if (keep > 0) text_append_char(&L->prefix, kSep);
                text_append(&L->prefix, name, strlen(name));
                list_folder(L, &child);
                scan_close(&child);
                text_truncate(&L->prefix, keep);
                if (L->interrupted) return;
            }
        }
        if (!matches_any(L, name)) continue;
        if (!known && !scan_status(s, name, &st)) continue;
        add_record(L, name, &st);
    }
}

/* ---------------------------------------------------------------------------
 * Arguments and result.
 * ------------------------------------------------------------------------- */

/*
 * Ends the call with simblocks:folderscan:interrupted, taking the host's
 * interrupt request. Host memory and arrays of the call go with it; folders
 * must be closed before.
 */
static void end_interrupted(void)
{
    host_interrupt_take();
    mexErrMsgIdAndTxt("simblocks:folderscan:interrupted", "interrupted; no listing is returned");
}

typedef struct {
    char *folder; /* NULL until fixed; "" means the current folder */
} Arguments;

static void take_string(Listing *L, Arguments *A, char *text)
{
    if (strchr(text, '*') != NULL) {
        if (A->folder != NULL) {
            add_pattern(L, text);
            return;
        }
        char *cut = NULL;
        for (char *c = text; *c != '\0'; ++c)
            if (*c == '/' || *c == '\\') cut = c;
        size_t folder_len = cut != NULL ? (size_t)(cut - text) + 1 : 0;
        A->folder = (char *)resize_block(NULL, folder_len + 1, 1);
        memcpy(A->folder, text, folder_len);
        A->folder[folder_len] = '\0';
        if (text[folder_len] != '\0') add_pattern(L, text + folder_len);
    } else if (strstr(text, "-r") != NULL) {
        L->recursive = 1;
    } else if (A->folder == NULL) {
        A->folder = text;
    } else {
        add_pattern(L, text);
    }
}

static void complain(void)
{
    mexPrintf("One or more inputs could not be understood. Please verify that all inputs are strings or cell "
              "strings.\n");
}

static void take_argument(Listing *L, Arguments *A, const mxArray *a)
{
    if (a != NULL && mxIsChar(a)) {
        char *text = mxArrayToString(a);
        if (text != NULL) {
            take_string(L, A, text);
            return;
        }
    } else if (a != NULL && mxIsCell(a)) {
        size_t n = mxGetNumberOfElements(a);
        for (size_t i = 0; i < n; ++i) {
            if (host_interrupt_pending()) end_interrupted();  /* no folder is open yet */
            const mxArray *e = mxGetCell(a, i);
            if (e != NULL && mxIsChar(e)) {
                take_argument(L, A, e);
            } else {
                complain();
            }
        }
        return;
    }
    complain();
}

static const char *kFields[5] = {"name", "date", "bytes", "isdir", "datenum"};

#if HOST_BUILDS_STRUCTS_BY_CALL

/*
 * The result made by the host's own functions: the names as one character
 * row cut into pieces by mat2cell, the dates likewise, the numbers as rows
 * made cells by num2cell, joined by struct (1 x N) and turned into a column.
 * Called through builtin, which reaches the host's own functions even where
 * a script has shadowed one. Each array is released as soon as it has been
 * used, so the records, the flat arrays and the result overlap little.
 */
static mxArray *call_builtin(const char *function, int nargs, mxArray *const *args)
{
    mxArray *in[11];
    in[0] = mxCreateString(function);
    for (int i = 0; i < nargs; ++i) in[i + 1] = args[i];
    mxArray *out = NULL;
    if (host_interrupt_pending()) end_interrupted();
    mexCallMATLAB(1, &out, nargs + 1, in, "builtin");
    mxDestroyArray(in[0]);
    return out;
}

/* The name of record i, or its date text. */
static const char *record_text(const Listing *L, size_t i, int dates)
{
    return L->pool.text + (dates ? L->records[i].date : L->records[i].name);
}

/* The names (or the dates) of every record as a 1 x N cell array of character rows. */
static mxArray *text_cells(const Listing *L, int dates)
{
    size_t total = 0;
    for (size_t i = 0; i < L->count; ++i) total += strlen(record_text(L, i, dates));
    mwSize dims[2] = {1, (mwSize)total};
    mxArray *row = mxCreateCharArray(2, dims);
    mxArray *lengths = mxCreateDoubleMatrix(1, L->count, mxREAL);
    mxChar *c = (mxChar *)mxGetData(row);
    double *len = mxGetPr(lengths);
    for (size_t i = 0; i < L->count; ++i) {
        const char *t = record_text(L, i, dates);
        size_t n = strlen(t);
        for (size_t k = 0; k < n; ++k) *c++ = (mxChar)(unsigned char)t[k];
        len[i] = (double)n;
    }
    mxArray *args[3] = {row, mxCreateDoubleScalar(1), lengths};
    mxArray *cells = call_builtin("mat2cell", 3, args);
    for (int i = 0; i < 3; ++i) mxDestroyArray(args[i]);
    return cells;
}

static mxArray *make_result(Listing *L)
{
    if (L->count == 0) return mxCreateStructMatrix(0, 1, 5, kFields);
    mxArray *args[10];
    for (int f = 0; f < 5; ++f) args[2 * f] = mxCreateString(kFields[f]);
    args[1] = text_cells(L, 0);
    args[3] = text_cells(L, 1);
    mxFree(L->pool.text);
    L->pool.text = NULL;
    mxArray *bytes = mxCreateDoubleMatrix(1, L->count, mxREAL);
    mxArray *isdir = mxCreateLogicalMatrix(1, L->count);
    mxArray *datenum = mxCreateDoubleMatrix(1, L->count, mxREAL);
    for (size_t i = 0; i < L->count; ++i) {
        mxGetPr(bytes)[i] = L->records[i].bytes;
        mxGetLogicals(isdir)[i] = L->records[i].isdir != 0;
        mxGetPr(datenum)[i] = L->records[i].datenum;
    }
    mxFree(L->records);
    L->records = NULL;
    mxArray *numbers[3] = {bytes, isdir, datenum};
    for (int f = 0; f < 3; ++f) {
        args[5 + 2 * f] = call_builtin("num2cell", 1, &numbers[f]);
        mxDestroyArray(numbers[f]);
    }
    mxArray *row = call_builtin("struct", 10, args);
    for (int i = 0; i < 10; ++i) mxDestroyArray(args[i]);
    mxArray *result = call_builtin("transpose", 1, &row);
    mxDestroyArray(row);
    return result;
}

#else

static mxArray *make_result(Listing *L)
{
    mxArray *result = mxCreateStructMatrix(L->count, 1, 5, kFields);
    for (size_t i = 0; i < L->count; ++i) {
        const Record *r = &L->records[i];
        mxSetFieldByNumber(result, i, 0, mxCreateString(L->pool.text + r->name));
        mxSetFieldByNumber(result, i, 1, mxCreateString(L->pool.text + r->date));
        mxSetFieldByNumber(result, i, 2, mxCreateDoubleScalar(r->bytes));
        mxSetFieldByNumber(result, i, 3, mxCreateLogicalScalar(r->isdir != 0));
        mxSetFieldByNumber(result, i, 4, mxCreateDoubleScalar(r->datenum));
    }
    return result;
}

#endif

void mexFunction(int nlhs, mxArray *plhs[], int nrhs, const mxArray *prhs[])
{
    (void)nlhs;
    Listing L;
    memset(&L, 0, sizeof L);
    Arguments A = {NULL};
    for (int i = 0; i < nrhs; ++i) take_argument(&L, &A, prhs[i]);
    char star[] = "*";
    if (L.npatterns == 0) add_pattern(&L, star);

    TextBuffer cwd = {NULL, 0, 0};
    TextBuffer folder = {NULL, 0, 0};
    const char *given = A.folder != NULL ? A.folder : "";
    if (given[0] == '\0' || !is_absolute(given)) {
        if (!current_folder(&cwd)) text_truncate(&cwd, 0);
        path_join(&folder, cwd.text != NULL ? cwd.text : "", given);
    } else {
        path_join(&folder, given, "");
    }

    refresh_time_zone();
    FolderScan root;
    if (folder.len > 0 && scan_open_root(&root, folder.text)) {
        list_folder(&L, &root);
        scan_close(&root);
    }
    if (L.interrupted) end_interrupted();
    plhs[0] = make_result(&L);

    mxFree(cwd.text);
    mxFree(folder.text);
    mxFree(L.pool.text);
    mxFree(L.prefix.text);
    mxFree(L.records);
    mxFree(L.patterns);
}
