<?php
// Shared by router.php and admin.php: the data folder, the group list, names
// and the Windows-1252 text of the wire.
//
// Data folder layout (never served as it stands):
//   grupos.json            the groups: name, display text, password hash
//   adventures/<name>/     the files of each adventure
//   tmp/                   uploads in progress (renamed into place when whole)
//   limits/                per group: failed password checks, quick verifier
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
function orv_write_atomically(string $dataDir, string $target, string $bytes): bool
{
    $tmpDir = $dataDir . '/tmp';
    if (!orv_ensure_dir($tmpDir)) {
        return false;
    }
    $tmp = tempnam($tmpDir, 'up');
    if ($tmp === false) {
        return false;
    }
    @chmod($tmp, 0664);
    if (file_put_contents($tmp, $bytes) !== strlen($bytes) || !rename($tmp, $target)) {
        @unlink($tmp);
        return false;
    }
    return true;
}

// Wrong passwords cost a full bcrypt each, so a flood of them would keep every
// worker hashing. Each group therefore has a bucket of failed checks: a full
// check takes a token first (refused at once when none is left) and gives it
// back when the password was right. The bucket holds ORV_FAILURE_BURST tokens
// and regains ORV_FAILURE_RATE per second. While it is not full (wrong
// passwords came lately), at most ORV_HASHING_SLOTS full checks of the group
// run at once, so that even the burst leaves the workers and the processors
// to the other requests.
//
// The group's password, once accepted, is also kept as a cheap bcrypt (the
// quick verifier, for ORV_QUICK_LIFETIME seconds after the last acceptance),
// checked before the bucket: authors who have sent the right password lately
// go through at once, even while the bucket is empty. It follows the group's
// hash, so a new password makes it void.
//
// The state lives in limits/<sha256 of the group name>.json, read and changed
// under flock(), never held while hashing, so that every worker and every
// server on the data folder sees the same counts; the slots are flock()s on
// limits/<sha256>.<n>, let go when their worker ends whatever way.
const ORV_FAILURE_BURST = 10;
const ORV_FAILURE_RATE = 1.0;
const ORV_HASHING_SLOTS = 2;
const ORV_QUICK_COST = 4;
const ORV_QUICK_LIFETIME = 86400;

const ORV_PASSWORD_OK = 'ok';
const ORV_PASSWORD_WRONG = 'wrong';
const ORV_PASSWORD_THROTTLED = 'throttled';

/**
 * Runs $change on the group's limit state under a lock (shared when
 * $exclusive is false) and stores what it returns as the new state. Without
 * a usable limits/ folder, $change sees an empty state and nothing is stored.
 *
 * @param callable(array): array{0: mixed, 1: ?array} $change
 */
function orv_with_limit_state(string $dataDir, string $group, bool $exclusive, callable $change): mixed
{
    $dir = $dataDir . '/limits';
    // The quick verifier is for the server's eyes only.
    $mask = umask(0077);
    $handle = orv_ensure_dir($dir) ? @fopen($dir . '/' . hash('sha256', $group) . '.json', 'c+') : false;
    umask($mask);
    if ($handle === false) {
        error_log("orvalis: no password limit state for group \"$group\" in $dir");
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

/** Tokens left in the bucket at $now. */
function orv_tokens(array $state, float $now): float
{
    $tokens = is_numeric($state['tokens'] ?? null) ? (float) $state['tokens'] : ORV_FAILURE_BURST;
    $at = is_numeric($state['at'] ?? null) ? (float) $state['at'] : $now;
    return min((float) ORV_FAILURE_BURST, $tokens + max(0.0, $now - $at) * ORV_FAILURE_RATE);
}

/**
 * Checks the password of an upload to $group (an entry of grupos.json):
 * ORV_PASSWORD_OK, ORV_PASSWORD_WRONG, or ORV_PASSWORD_THROTTLED when too
 * many wrong ones came lately and this one is not the password accepted last.
 */
function orv_check_password(string $dataDir, array $group, string $password): string
{
    $name = (string) ($group['name'] ?? '');
    $hash = (string) ($group['hash'] ?? '');
    if (!orv_valid_password($password) || $hash === '') {
        return ORV_PASSWORD_WRONG;
    }
    $for = hash('sha256', $hash);
    $now = microtime(true);

    $quick = orv_with_limit_state($dataDir, $name, false, static function (array $state) use ($for, $now): array {
        $fresh = ($state['for'] ?? null) === $for && is_string($state['quick'] ?? null)
            && is_numeric($state['quickAt'] ?? null) && $now - (float) $state['quickAt'] < ORV_QUICK_LIFETIME;
        return [$fresh ? $state['quick'] : null, null];
    });
    if (is_string($quick) && password_verify($password, $quick)) {
        return ORV_PASSWORD_OK;
    }

    // Takes a token; the result is the number there was before, or null.
    $take = static function (array $state) use ($now): array {
        $tokens = orv_tokens($state, $now);
        return $tokens < 1.0 ? [null, null] : [$tokens, ['tokens' => $tokens - 1.0, 'at' => $now] + $state];
    };
    $giveBack = static function (array $state): array {
        $now = microtime(true);
        return [null, ['tokens' => min((float) ORV_FAILURE_BURST, orv_tokens($state, $now) + 1.0), 'at' => $now] + $state];
    };
    $before = orv_with_limit_state($dataDir, $name, true, $take);
    if ($before === null) {
        return ORV_PASSWORD_THROTTLED;
    }
    $slot = null;
    if ($before < ORV_FAILURE_BURST) {
        $slot = orv_take_hashing_slot($dataDir, $name);
        if ($slot === null) {
            orv_with_limit_state($dataDir, $name, true, $giveBack);
            return ORV_PASSWORD_THROTTLED;
        }
    }
    try {
        $right = password_verify($password, $hash);
    } finally {
        if (is_resource($slot)) {
            fclose($slot);
        }
    }
    if (!$right) {
        return ORV_PASSWORD_WRONG;
    }

    // Right: the token goes back and the quick verifier is renewed.
    $newQuick = password_hash($password, PASSWORD_BCRYPT, ['cost' => ORV_QUICK_COST]);
    orv_with_limit_state($dataDir, $name, true, static function (array $state) use ($giveBack, $newQuick, $for): array {
        [, $next] = $giveBack($state);
        return [null, ['quick' => $newQuick, 'for' => $for, 'quickAt' => $next['at']] + $next];
    });
    return ORV_PASSWORD_OK;
}

/**
 * One of the group's hashing slots, held until the handle is closed; null
 * when all are taken (or cannot be had). Without a usable limits/ folder the
 * check goes on unlimited rather than refusing every upload.
 *
 * @return resource|true|null
 */
function orv_take_hashing_slot(string $dataDir, string $group): mixed
{
    $base = $dataDir . '/limits/' . hash('sha256', $group);
    for ($i = 0; $i < ORV_HASHING_SLOTS; $i++) {
        $handle = @fopen("$base.$i", 'c');
        if ($handle === false) {
            error_log("orvalis: no hashing slot file $base.$i");
            return true;
        }
        if (flock($handle, LOCK_EX | LOCK_NB)) {
            return $handle;
        }
        fclose($handle);
    }
    return null;
}
