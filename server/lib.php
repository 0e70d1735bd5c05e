<?php
// Shared by router.php and admin.php: the data folder, the group list, names
// and the Windows-1252 text of the wire.
//
// Data folder layout (never served as it stands):
//   grupos.json            the groups: name, display text, password hash (mode 0600)
//   adventures/<name>/     the files of each adventure
//   history/<name>/<file>/ the earlier versions of each file (see below)
//   locks/                 per adventure: the lock of every change of its files
//   tmp/                   uploads in progress (renamed into place when whole)
//   limits/                per group and client address: failed password
//                          checks; per group: quick verifier, hashing slots
//   run/<port>/            configuration, spool and logs of nginx and php-fpm
// Nothing else is kept between requests, so several servers may share one
// data folder.
// Names on disk and in grupos.json are UTF-8; the client speaks Windows-1252,
// so names and texts are converted at the edge.

declare(strict_types=1);

const ORV_DEFAULT_MAX_UPLOAD = 16 * 1024 * 1024;

// Windows-1252 bytes 0x80..0x9F; the five bytes the code page leaves free map
// to the C1 controls of the same value, as the client does.
const ORV_CP1252_HIGH = [
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
];

function orv_utf8_chr(int $cp): string
{
    if ($cp < 0x80) {
        return chr($cp);
    }
    if ($cp < 0x800) {
        return chr(0xC0 | ($cp >> 6)) . chr(0x80 | ($cp & 0x3F));
    }
    return chr(0xE0 | ($cp >> 12)) . chr(0x80 | (($cp >> 6) & 0x3F)) . chr(0x80 | ($cp & 0x3F));
}

function orv_cp1252_to_utf8(string $bytes): string
{
    $out = '';
    $n = strlen($bytes);
    for ($i = 0; $i < $n; $i++) {
        $b = ord($bytes[$i]);
        if ($b < 0x80) {
            $out .= $bytes[$i];
        } elseif ($b < 0xA0) {
            $out .= orv_utf8_chr(ORV_CP1252_HIGH[$b - 0x80]);
        } else {
            $out .= orv_utf8_chr($b);
        }
    }
    return $out;
}

// Null when the text is not UTF-8 or holds a character Windows-1252 lacks.
function orv_utf8_to_cp1252(string $text): ?string
{
    static $reverse = null;
    if ($reverse === null) {
        $reverse = array_flip(ORV_CP1252_HIGH);
    }
    if (preg_match_all('/./su', $text, $chars) === false) {
        return null;
    }
    $out = '';
    foreach ($chars[0] as $ch) {
        $len = strlen($ch);
        if ($len === 1) {
            $out .= $ch;
            continue;
        }
        if ($len === 2) {
            $cp = ((ord($ch[0]) & 0x1F) << 6) | (ord($ch[1]) & 0x3F);
        } elseif ($len === 3) {
            $cp = ((ord($ch[0]) & 0x0F) << 12) | ((ord($ch[1]) & 0x3F) << 6) | (ord($ch[2]) & 0x3F);
        } else {
            return null;
        }
        if (isset($reverse[$cp])) {
            $out .= chr(0x80 + $reverse[$cp]);
        } elseif ($cp >= 0xA0 && $cp <= 0xFF) {
            $out .= chr($cp);
        } else {
            return null;
        }
    }
    return $out;
}

// Undoes the client's escaping. The client writes as %XX only what a request
// line cannot carry (blanks, "#", control characters, bytes from 0x7F up) and
// sends every other character as typed, "%" included; so only those escapes
// are decoded, and a password such as "50%41" arrives as it was typed.
function orv_wire_decode(string $text): string
{
    return (string) preg_replace_callback('/%([0-9A-Fa-f]{2})/', static function (array $m): string {
        $byte = hexdec($m[1]);
        return ($byte <= 0x20 || $byte === 0x23 || $byte >= 0x7F) ? chr($byte) : $m[0];
    }, $text);
}

// A name that stays inside its folder and that every client can store: no
// folder part, none of the characters Windows refuses in file names, no
// control characters, at most 255 bytes, and no blank or dot at the end
// (Windows drops those, so "a.txt." would land on "a.txt"; this also rules
// out "." and "..").
function orv_valid_name(string $name): bool
{
    if ($name === '' || strlen($name) > 255) {
        return false;
    }
    $last = $name[strlen($name) - 1];
    if ($last === ' ' || $last === '.') {
        return false;
    }
    if (!preg_match('//u', $name)) {
        return false;
    }
    if (strpbrk($name, "<>:\"/\\|?*") !== false) {
        return false;
    }
    // C0 controls, DEL and the C1 controls.
    return !preg_match('/[\x{0}-\x{1F}\x{7F}-\x{9F}]/u', $name);
}

// A password that can be typed: not empty, no control character. bcrypt would
// stop at a NUL and accept whatever follows it, so such a password is refused
// before it is hashed.
function orv_valid_password(string $password): bool
{
    return $password !== '' && preg_match('//u', $password) === 1
        && !preg_match('/[\x{0}-\x{1F}\x{7F}-\x{9F}]/u', $password);
}

// The password file of an adventure is the author's own: never served, listed
// nor replaced through the server, whatever its case.
function orv_is_password_file(string $name): bool
{
    return strtolower($name) === 'sen.txt';
}

function orv_max_upload(): int
{
    $limit = getenv('ORVALIS_MAX_UPLOAD');
    if ($limit !== false && preg_match('/^[0-9]{1,15}$/', $limit) && (int) $limit > 0) {
        return (int) $limit;
    }
    return ORV_DEFAULT_MAX_UPLOAD;
}

function orv_groups_path(string $dataDir): string
{
    return $dataDir . '/grupos.json';
}

function orv_adventure_dir(string $dataDir, string $name): string
{
    return $dataDir . '/adventures/' . $name;
}

/** @return array<int, array{name: string, display: string, hash: string}> */
function orv_read_groups(string $dataDir): array
{
    $path = orv_groups_path($dataDir);
    if (!is_file($path)) {
        return [];
    }
    $data = json_decode((string) file_get_contents($path), true);
    if (!is_array($data) || !isset($data['groups']) || !is_array($data['groups'])) {
        return [];
    }
    return $data['groups'];
}

function orv_find_group(string $dataDir, string $name): ?array
{
    foreach (orv_read_groups($dataDir) as $group) {
        if (($group['name'] ?? null) === $name) {
            return $group;
        }
    }
    return null;
}

function orv_ensure_dir(string $dir): bool
{
    return is_dir($dir) || @mkdir($dir, 0775, true) || is_dir($dir);
}

// Writes through a temporary file in the data folder's tmp/ and renames it over
// the target, so readers see either the old file or the whole new one.
function orv_write_atomically(string $dataDir, string $target, string $bytes, int $mode = 0664): bool
{
    $tmp = orv_temp_file($dataDir);
    if ($tmp === null) {
        return false;
    }
    @chmod($tmp, $mode);
    if (file_put_contents($tmp, $bytes) !== strlen($bytes) || !rename($tmp, $target)) {
        @unlink($tmp);
        return false;
    }
    return true;
}

// A new empty file in the data folder's tmp/ (mode 0600 until changed), or null.
function orv_temp_file(string $dataDir): ?string
{
    $tmpDir = $dataDir . '/tmp';
    if (!orv_ensure_dir($tmpDir)) {
        return null;
    }
    $tmp = @tempnam($tmpDir, 'up');
    return $tmp === false ? null : $tmp;
}

// The password hashes: for the server's user only.
function orv_write_groups(string $dataDir, array $groups): bool
{
    $json = json_encode(['groups' => array_values($groups)],
        JSON_PRETTY_PRINT | JSON_UNESCAPED_UNICODE | JSON_UNESCAPED_SLASHES);
    return $json !== false && orv_write_atomically($dataDir, orv_groups_path($dataDir), $json . "\n", 0600);
}

/**
 * The fields of a request's query, or null when a key is missing.
 *
 * The client puts names and the password in unescaped, in a fixed key order,
 * so a query that begins with the first key is read raw: each value runs up
 * to the first "&<next key>=" after it, the last one to the end, and only the
 * client's escapes are decoded (orv_wire_decode). An optional key may follow
 * the last one (the revisions extension); it is taken off the end only when
 * its whole value matches its pattern, so a query without it reads exactly as
 * it always has. Any other query (a browser, another client) is read through
 * PHP's own parsing, given as $get.
 *
 * @param list<string> $keys
 * @param array<string, string> $optional key => pattern of its whole value
 * @param array<mixed> $get
 * @return array<string, string>|null
 */
function orv_parse_query(string $query, array $keys, array $optional = [], array $get = []): ?array
{
    $fields = [];
    $first = $keys[0] . '=';
    if (strncmp($query, $first, strlen($first)) !== 0) {
        foreach ($keys as $key) {
            if (!isset($get[$key]) || !is_string($get[$key])) {
                return null;
            }
            $fields[$key] = $get[$key];
        }
        foreach ($optional as $key => $pattern) {
            if (isset($get[$key]) && is_string($get[$key]) && preg_match($pattern, $get[$key]) === 1) {
                $fields[$key] = $get[$key];
            }
        }
        return $fields;
    }
    $extra = [];
    foreach ($optional as $key => $pattern) {
        $marker = '&' . $key . '=';
        $at = strrpos($query, $marker);
        if ($at !== false && $at >= strlen($first)
            && preg_match($pattern, substr($query, $at + strlen($marker))) === 1) {
            $extra[$key] = substr($query, $at + strlen($marker));
            $query = substr($query, 0, $at);
        }
    }
    $pos = strlen($first);
    for ($i = 0; $i < count($keys); $i++) {
        if ($i + 1 < count($keys)) {
            $marker = '&' . $keys[$i + 1] . '=';
            $end = strpos($query, $marker, $pos);
            if ($end === false) {
                return null;
            }
            $fields[$keys[$i]] = orv_wire_decode(substr($query, $pos, $end - $pos));
            $pos = $end + strlen($marker);
        } else {
            $fields[$keys[$i]] = orv_wire_decode(substr($query, $pos));
        }
    }
    return $fields + $extra;
}

// The revisions extension: "&Base=" of an upload names the version it
// replaces, by the SHA-256 of its bytes, or "novo" for a file that must not
// exist yet; "&Rev=1" asks lstarqs.php for sizes and SHA-256s.
const ORV_BASE_PATTERN = '/\A(?:[0-9a-fA-F]{64}|novo)\z/';
const ORV_REV_PATTERN = '/\A1\z/';
const ORV_BASE_NEW = 'novo';

// ---------------------------------------------------------------------------
// Versions. Every change of an adventure's files (an upload, a restore) runs
// under the adventure's lock: an flock() on locks/<sha256 of its name>, so
// that every worker and every server on the data folder takes its turn, and a
// check of the file's current version and its replacement are one step.
//
// A file that is replaced is kept first, in history/<adventure>/<file>/, as
// a version named by the moment it was kept (UTC, microseconds):
// 20250102T030405.123456Z, with "-conflito" added for the bytes of an upload
// refused because the file had changed meanwhile. The current file is hard
// linked there before the new one is renamed over it, so readers never find
// the file missing. history/ is outside adventures/, which is all that the
// router and nginx ever serve.
//
// Retention: at most ORVALIS_VERSOES_MAX versions of each file (default 50)
// and ORVALIS_VERSOES_BYTES bytes of versions per adventure (default 500
// MiB); beyond either, the oldest versions go first. 0 versions keeps none.
const ORV_DEFAULT_VERSIONS_MAX = 50;
const ORV_DEFAULT_VERSIONS_BYTES = 500 * 1024 * 1024;
const ORV_VERSION_PATTERN = '/\A[0-9]{8}T[0-9]{6}\.[0-9]{6}Z(?:-conflito)?\z/';
const ORV_CONFLICT_SUFFIX = '-conflito';

const ORV_STORED = 'stored';
const ORV_CONFLICT = 'conflict';
const ORV_FAILED = 'failed';

function orv_env_count(string $name, int $default): int
{
    $value = getenv($name);
    if ($value === false || $value === '') {
        return $default;
    }
    if (!preg_match('/\A[0-9]{1,15}\z/', $value)) {
        error_log("orvalis: $name is not a number of 0 or more; using $default");
        return $default;
    }
    return (int) $value;
}

function orv_versions_max(): int
{
    return orv_env_count('ORVALIS_VERSOES_MAX', ORV_DEFAULT_VERSIONS_MAX);
}

function orv_versions_bytes(): int
{
    return orv_env_count('ORVALIS_VERSOES_BYTES', ORV_DEFAULT_VERSIONS_BYTES);
}

function orv_history_dir(string $dataDir, string $adventure, ?string $name = null): string
{
    return $dataDir . '/history/' . $adventure . ($name === null ? '' : '/' . $name);
}

/**
 * Runs $work holding the adventure's lock; null when the lock cannot be had.
 *
 * @template T
 * @param callable(): T $work
 * @return T|null
 */
function orv_with_adventure_lock(string $dataDir, string $adventure, callable $work): mixed
{
    $dir = $dataDir . '/locks';
    $path = $dir . '/' . hash('sha256', $adventure);
    $handle = orv_ensure_dir($dir) ? @fopen($path, 'c') : false;
    if ($handle === false) {
        error_log("orvalis: cannot open the lock $path");
        return null;
    }
    try {
        if (!flock($handle, LOCK_EX)) {
            error_log("orvalis: cannot lock $path");
            return null;
        }
        return $work();
    } finally {
        fclose($handle);
    }
}

// The version names of one file, oldest first.
/** @return list<string> */
function orv_version_ids(string $dataDir, string $adventure, string $name): array
{
    $dir = orv_history_dir($dataDir, $adventure, $name);
    $ids = [];
    foreach (is_dir($dir) ? (scandir($dir) ?: []) : [] as $entry) {
        if (preg_match(ORV_VERSION_PATTERN, $entry) && is_file("$dir/$entry")) {
            $ids[] = $entry;
        }
    }
    sort($ids, SORT_STRING);
    return $ids;
}

// A new version name for the file: now, or just after its latest version
// when the clock has not moved on (or went back).
function orv_new_version_path(string $dataDir, string $adventure, string $name, bool $conflict): ?string
{
    $dir = orv_history_dir($dataDir, $adventure, $name);
    if (!orv_ensure_dir($dir)) {
        return null;
    }
    $micros = (int) floor(microtime(true) * 1000000);
    $ids = orv_version_ids($dataDir, $adventure, $name);
    if ($ids !== []) {
        $latest = end($ids);
        $at = DateTimeImmutable::createFromFormat('Ymd\THis.u\Z', substr($latest, 0, 23), new DateTimeZone('UTC'));
        if ($at !== false) {
            $micros = max($micros, (int) $at->format('U') * 1000000 + (int) $at->format('u') + 1);
        }
    }
    $id = gmdate('Ymd\THis', intdiv($micros, 1000000)) . sprintf('.%06dZ', $micros % 1000000)
        . ($conflict ? ORV_CONFLICT_SUFFIX : '');
    return "$dir/$id";
}

// Keeps the current file as a version, without moving it: the file stays in
// place until something is renamed over it. False when it could not be kept.
function orv_keep_current(string $dataDir, string $adventure, string $name, string $current): bool
{
    $version = orv_new_version_path($dataDir, $adventure, $name, false);
    if ($version === null) {
        return false;
    }
    if (@link($current, $version)) {
        return true;
    }
    // A file system without hard links: a copy, with the file's own time.
    $mtime = filemtime($current);
    if (!@copy($current, $version)) {
        @unlink($version);
        return false;
    }
    if ($mtime !== false) {
        @touch($version, $mtime);
    }
    return true;
}

// Drops the oldest versions beyond the retention limits: of $name first,
// then of the whole adventure. Runs under the adventure's lock.
function orv_prune_history(string $dataDir, string $adventure, string $name): void
{
    $max = orv_versions_max();
    $ids = orv_version_ids($dataDir, $adventure, $name);
    $fileDir = orv_history_dir($dataDir, $adventure, $name);
    for ($i = 0; $i < count($ids) - $max; $i++) {
        @unlink("$fileDir/{$ids[$i]}");
    }

    $limit = orv_versions_bytes();
    $root = orv_history_dir($dataDir, $adventure);
    $all = [];
    $total = 0;
    foreach (is_dir($root) ? (scandir($root) ?: []) : [] as $file) {
        if (!orv_valid_name($file) || !is_dir("$root/$file")) {
            continue;
        }
        foreach (orv_version_ids($dataDir, $adventure, $file) as $id) {
            $size = (int) @filesize("$root/$file/$id");
            $all[] = [$id, $file, $size];
            $total += $size;
        }
    }
    if ($total > $limit) {
        usort($all, static fn(array $a, array $b): int => strcmp($a[0], $b[0]) ?: strcmp($a[1], $b[1]));
        foreach ($all as [$id, $file, $size]) {
            if ($total <= $limit) {
                break;
            }
            if (@unlink("$root/$file/$id")) {
                $total -= $size;
            }
        }
    }
    foreach (is_dir($root) ? (scandir($root) ?: []) : [] as $file) {
        if (orv_valid_name($file) && is_dir("$root/$file")) {
            @rmdir("$root/$file");  // only when empty
        }
    }
}

function orv_same_bytes(string $a, string $b): bool
{
    $sizeA = @filesize($a);
    return $sizeA !== false && $sizeA === @filesize($b) && hash_file('sha256', $a) === hash_file('sha256', $b);
}

/**
 * Puts the whole new file $tmp (in tmp/) in place of the adventure's file
 * $name, keeping the one it replaces as a version. With $base (the SHA-256
 * the uploader last had, or "novo"), the file must still be that version;
 * otherwise nothing changes, the refused bytes are kept as a version of
 * their own and the answer is ORV_CONFLICT. Bytes the server already has as
 * the current file are taken as stored, whatever the base. $tmp is gone
 * afterwards in every case.
 */
function orv_store_upload(string $dataDir, string $adventure, string $name, string $tmp, ?string $base): string
{
    $target = orv_adventure_dir($dataDir, $adventure) . '/' . $name;
    $keep = orv_versions_max() > 0;
    $result = orv_with_adventure_lock($dataDir, $adventure, static function () use (
        $dataDir, $adventure, $name, $tmp, $base, $target, $keep
    ): string {
        clearstatcache();
        $exists = is_file($target);
        if ($exists && orv_same_bytes($target, $tmp)) {
            @unlink($tmp);
            return ORV_STORED;
        }
        if ($base !== null) {
            $current = $exists ? hash_file('sha256', $target) : false;
            if ($current === false ? $base !== ORV_BASE_NEW : $current !== strtolower($base)) {
                $version = $keep ? orv_new_version_path($dataDir, $adventure, $name, true) : null;
                if ($version === null || !@rename($tmp, $version)) {
                    @unlink($tmp);
                }
                orv_prune_history($dataDir, $adventure, $name);
                return ORV_CONFLICT;
            }
        }
        if ($exists && $keep && !orv_keep_current($dataDir, $adventure, $name, $target)) {
            error_log("orvalis: cannot keep the version of $adventure/$name being replaced");
            @unlink($tmp);
            return ORV_FAILED;
        }
        if (!@rename($tmp, $target)) {
            @unlink($tmp);
            return ORV_FAILED;
        }
        if ($exists) {
            orv_prune_history($dataDir, $adventure, $name);
        }
        return ORV_STORED;
    });
    if ($result === null) {
        @unlink($tmp);
        return ORV_FAILED;
    }
    return $result;
}

/**
 * The stored versions of a file, oldest first, then the current file as
 * "atual" when there is one: [time (ISO 8601, UTC), size, SHA-256, version].
 *
 * @return list<array{0: string, 1: int, 2: string, 3: string}>
 */
function orv_list_versions(string $dataDir, string $adventure, string $name): array
{
    $describe = static function (string $path, string $id): ?array {
        $handle = @fopen($path, 'rb');
        if ($handle === false) {
            return null;
        }
        $stat = fstat($handle);
        $context = hash_init('sha256');
        hash_update_stream($context, $handle);
        fclose($handle);
        return [gmdate('Y-m-d\TH:i:s\Z', (int) $stat['mtime']), (int) $stat['size'], hash_final($context), $id];
    };
    $lines = [];
    $dir = orv_history_dir($dataDir, $adventure, $name);
    foreach (orv_version_ids($dataDir, $adventure, $name) as $id) {
        $line = $describe("$dir/$id", $id);
        if ($line !== null) {
            $lines[] = $line;
        }
    }
    $current = orv_adventure_dir($dataDir, $adventure) . '/' . $name;
    $line = is_file($current) ? $describe($current, 'atual') : null;
    if ($line !== null) {
        $lines[] = $line;
    }
    return $lines;
}

/**
 * Puts version $id of the file back as the current file, keeping the one it
 * replaces as a version (the restored one stays in the history as well).
 * Null when done, otherwise what went wrong.
 */
function orv_restore_version(string $dataDir, string $adventure, string $name, string $id): ?string
{
    if (!preg_match(ORV_VERSION_PATTERN, $id)) {
        return "versão inválida: \"$id\"";
    }
    $dir = orv_adventure_dir($dataDir, $adventure);
    if (!orv_ensure_dir($dir)) {
        return "não foi possível criar a pasta \"$dir\"";
    }
    $result = orv_with_adventure_lock($dataDir, $adventure, static function () use (
        $dataDir, $adventure, $name, $id, $dir
    ): ?string {
        $version = orv_history_dir($dataDir, $adventure, $name) . '/' . $id;
        if (!is_file($version)) {
            return "versão não encontrada: $id";
        }
        $target = "$dir/$name";
        clearstatcache();
        if (is_file($target) && orv_same_bytes($target, $version)) {
            return '';
        }
        $tmp = orv_temp_file($dataDir);
        if ($tmp === null || !@copy($version, $tmp)) {
            if ($tmp !== null) {
                @unlink($tmp);
            }
            return "não foi possível copiar a versão";
        }
        @chmod($tmp, 0664);
        if (is_file($target) && !orv_keep_current($dataDir, $adventure, $name, $target)) {
            @unlink($tmp);
            return "não foi possível guardar a versão atual";
        }
        if (!@rename($tmp, $target)) {
            @unlink($tmp);
            return "não foi possível gravar \"$target\"";
        }
        orv_prune_history($dataDir, $adventure, $name);
        return '';
    });
    if ($result === null) {
        return "não foi possível travar a aventura";
    }
    return $result === '' ? null : $result;
}

// ---------------------------------------------------------------------------
// Passwords. A wrong password costs a full bcrypt, so a flood of them would
// keep the processors hashing; yet a right one must never be refused, however
// many uploads arrive at once and whoever else typed a wrong one.
//
// - The group's password, once accepted, is also kept as a cheap bcrypt (the
//   quick verifier, for ORV_QUICK_LIFETIME seconds after the last
//   acceptance), checked first: authors who sent the right password lately
//   go through at once. It follows the group's hash, so a new password makes
//   it void.
// - Otherwise the password is checked in full, in one of the group's
//   ORV_HASHING_SLOTS (waited for, never refused), so that a burst of checks
//   leaves processors to the other requests.
// - Only a password found wrong is counted, against its client address (an
//   IPv6 address by its /64) and group: a bucket of ORV_FAILURE_BURST tokens
//   regaining ORV_FAILURE_RATE per second. While an address has tokens left,
//   its checks run at once. Once it has none, its checks are spaced
//   1 / ORV_FAILURE_RATE seconds apart: each waits for its turn, and one
//   whose turn would be ORV_THROTTLED_QUEUE seconds or more away is refused
//   ("Muitas senhas erradas!") without hashing. So an author who mistyped,
//   however often, gets the right password through on the next try, waiting
//   at most a second; other addresses never notice; and brute force from one
//   address gets one guess a second, its extra requests refused at once.
//
// The state lives in limits/: <sha256 of the group>.json (the quick verifier)
// and <sha256 of the group>.<sha256 of the address>.json (the bucket), read
// and changed under flock(), never held while hashing, so that every worker
// and every server on the data folder sees the same counts; the slots are
// flock()s on limits/<sha256 of the group>.<n>, let go when their worker ends
// whatever way.
const ORV_FAILURE_BURST = 10;
const ORV_FAILURE_RATE = 1.0;
const ORV_THROTTLED_QUEUE = 2.0;
const ORV_HASHING_SLOTS = 2;
const ORV_QUICK_COST = 4;
const ORV_QUICK_LIFETIME = 86400;

const ORV_PASSWORD_OK = 'ok';
const ORV_PASSWORD_WRONG = 'wrong';
const ORV_PASSWORD_THROTTLED = 'throttled';

/**
 * Runs $change on the state in limits/<$stem>.json under a lock (shared when
 * $exclusive is false) and stores what it returns as the new state. Without a
 * usable limits/ folder, $change sees an empty state and nothing is stored.
 *
 * @param callable(array): array{0: mixed, 1: ?array} $change
 */
function orv_with_limit_state(string $dataDir, string $stem, bool $exclusive, callable $change): mixed
{
    $dir = $dataDir . '/limits';
    // The quick verifier is for the server's eyes only.
    $mask = umask(0077);
    $handle = orv_ensure_dir($dir) ? @fopen("$dir/$stem.json", 'c+') : false;
    umask($mask);
    if ($handle === false) {
        error_log("orvalis: no password limit state $stem in $dir");
        return $change([])[0];
    }
    try {
        if (!flock($handle, $exclusive ? LOCK_EX : LOCK_SH)) {
            return $change([])[0];
        }
        $state = json_decode((string) stream_get_contents($handle), true);
        [$result, $next] = $change(is_array($state) ? $state : []);
        if ($exclusive && $next !== null) {
            $json = json_encode($next);
            if ($json !== false) {
                ftruncate($handle, 0);
                rewind($handle);
                fwrite($handle, $json);
                fflush($handle);
            }
        }
        return $result;
    } finally {
        fclose($handle);
    }
}

/** Tokens left in a bucket at $now. */
function orv_tokens(array $state, float $now): float
{
    $tokens = is_numeric($state['tokens'] ?? null) ? (float) $state['tokens'] : ORV_FAILURE_BURST;
    $at = is_numeric($state['at'] ?? null) ? (float) $state['at'] : $now;
    return min((float) ORV_FAILURE_BURST, $tokens + max(0.0, $now - $at) * ORV_FAILURE_RATE);
}

// Who a request comes from, as far as the limit on wrong passwords goes: the
// address, an IPv6 one by its /64 (one host easily has many of those).
function orv_client_key(string $address): string
{
    $packed = str_contains($address, "\0") ? false : @inet_pton($address);
    if ($packed === false) {
        return $address;
    }
    if (strlen($packed) === 16) {
        if (substr($packed, 0, 12) === str_repeat("\0", 10) . "\xFF\xFF") {
            return (string) inet_ntop(substr($packed, 12));
        }
        return bin2hex(substr($packed, 0, 8)) . '/64';
    }
    return (string) inet_ntop($packed);
}

/**
 * Checks the password of an upload to $group (an entry of grupos.json) sent
 * from $client (the peer's address): ORV_PASSWORD_OK, ORV_PASSWORD_WRONG, or
 * ORV_PASSWORD_THROTTLED when that address sent too many wrong ones lately
 * and its turn is too far away.
 */
function orv_check_password(string $dataDir, array $group, string $password, string $client = ''): string
{
    $name = (string) ($group['name'] ?? '');
    $hash = (string) ($group['hash'] ?? '');
    if (!orv_valid_password($password) || $hash === '') {
        return ORV_PASSWORD_WRONG;
    }
    $for = hash('sha256', $hash);
    $groupStem = hash('sha256', $name);
    $clientStem = $groupStem . '.' . hash('sha256', orv_client_key($client));

    $quick = orv_with_limit_state($dataDir, $groupStem, false, static function (array $state) use ($for): array {
        $fresh = ($state['for'] ?? null) === $for && is_string($state['quick'] ?? null)
            && is_numeric($state['quickAt'] ?? null) && microtime(true) - (float) $state['quickAt'] < ORV_QUICK_LIFETIME;
        return [$fresh ? $state['quick'] : null, null];
    });
    if (is_string($quick) && password_verify($password, $quick)) {
        return ORV_PASSWORD_OK;
    }

    // The wait before this check, or null when it is refused.
    $wait = orv_with_limit_state($dataDir, $clientStem, true, static function (array $state): array {
        $now = microtime(true);
        if (orv_tokens($state, $now) >= 1.0) {
            return [0.0, null];
        }
        $turn = max($now, is_numeric($state['next'] ?? null) ? (float) $state['next'] : 0.0);
        if ($turn - $now >= ORV_THROTTLED_QUEUE) {
            return [null, null];
        }
        return [$turn - $now, ['next' => $turn + 1.0 / ORV_FAILURE_RATE] + $state];
    });
    if ($wait === null) {
        return ORV_PASSWORD_THROTTLED;
    }
    if ($wait > 0) {
        usleep((int) ($wait * 1000000));
    }

    $slot = orv_take_hashing_slot($dataDir, $name);
    try {
        $right = password_verify($password, $hash);
    } finally {
        if (is_resource($slot)) {
            fclose($slot);
        }
    }

    if (!$right) {
        orv_with_limit_state($dataDir, $clientStem, true, static function (array $state): array {
            $now = microtime(true);
            $tokens = max(-(float) ORV_FAILURE_BURST, orv_tokens($state, $now) - 1.0);
            return [null, ['tokens' => $tokens, 'at' => $now] + $state];
        });
        return ORV_PASSWORD_WRONG;
    }

    $newQuick = password_hash($password, PASSWORD_BCRYPT, ['cost' => ORV_QUICK_COST]);
    orv_with_limit_state($dataDir, $groupStem, true, static function (array $state) use ($newQuick, $for): array {
        return [null, ['quick' => $newQuick, 'for' => $for, 'quickAt' => microtime(true)]];
    });
    return ORV_PASSWORD_OK;
}

/**
 * One of the group's hashing slots, held until the handle is closed: a free
 * one at once, otherwise the first of them to come free is waited for.
 * Without a usable limits/ folder the check goes on unlimited rather than
 * refusing every upload.
 *
 * @return resource|true
 */
function orv_take_hashing_slot(string $dataDir, string $group): mixed
{
    $base = $dataDir . '/limits/' . hash('sha256', $group);
    $handles = [];
    for ($i = 0; $i < ORV_HASHING_SLOTS; $i++) {
        $handle = @fopen("$base.$i", 'c');
        if ($handle === false) {
            error_log("orvalis: no hashing slot file $base.$i");
            foreach ($handles as $open) {
                fclose($open);
            }
            return true;
        }
        if (flock($handle, LOCK_EX | LOCK_NB)) {
            foreach ($handles as $open) {
                fclose($open);
            }
            return $handle;
        }
        $handles[] = $handle;
    }
    // All taken: a short wait on each in turn until one is had.
    for ($round = 0; ; $round++) {
        usleep(min(20000, 2000 * ($round + 1)));
        foreach ($handles as $i => $handle) {
            if (flock($handle, LOCK_EX | LOCK_NB)) {
                foreach ($handles as $j => $other) {
                    if ($j !== $i) {
                        fclose($other);
                    }
                }
                return $handle;
            }
        }
    }
}
