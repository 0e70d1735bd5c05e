<?php
// Shared by router.php and admin.php: the data folder, the group list, names
// and the Windows-1252 text of the wire.
//
// Data folder layout (never served as it stands):
//   grupos.json            the groups: name, display text, password hash
//   adventures/<name>/     the files of each adventure
//   tmp/                   uploads in progress (renamed into place when whole)
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
// folder part, not "." or "..", none of the characters Windows refuses in file
// names, no control characters, at most 255 bytes.
function orv_valid_name(string $name): bool
{
    if ($name === '' || $name === '.' || $name === '..' || strlen($name) > 255) {
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
