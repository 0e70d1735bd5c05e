<?php
// Properties of the server's query parser, name and password checks and
// code-page conversion, over edge cases and random inputs from a fixed seed
// (so every run tries the same inputs; ORVALIS_SEED picks others).
//   php -n tests/server/properties.php
// Exits 1 and names the inputs when a property fails. Every PHP warning or
// notice is a failure too.

declare(strict_types=1);

require __DIR__ . '/../../server/lib.php';

set_error_handler(static function (int $level, string $message, string $file, int $line): bool {
    if ((error_reporting() & $level) === 0) {
        return false;  // silenced on purpose with "@"
    }
    throw new ErrorException($message, 0, $level, $file, $line);
});

$seed = (int) (getenv('ORVALIS_SEED') ?: 20240917);
mt_srand($seed);
$rounds = (int) (getenv('ORVALIS_ROUNDS') ?: 4000);
$failures = 0;

function check(bool $holds, string $property, mixed ...$inputs): void
{
    global $failures;
    if ($holds) {
        return;
    }
    if (++$failures <= 20) {
        $shown = array_map(static fn($v) => is_string($v) ? bin2hex($v) . ' "' . addcslashes($v, "\0..\37\177..\377") . '"'
            : var_export($v, true), $inputs);
        fwrite(STDERR, "FAIL $property: " . implode(' | ', $shown) . "\n");
    }
}

// A random byte string, drawn mostly from the characters that matter to the
// code under test.
function random_bytes_from(array $pieces, int $maxPieces): string
{
    $out = '';
    $n = mt_rand(0, $maxPieces);
    for ($i = 0; $i < $n; $i++) {
        $piece = $pieces[mt_rand(0, count($pieces) - 1)];
        $out .= $piece === null ? chr(mt_rand(0, 255)) : $piece;
    }
    return $out;
}

const PIECES = ['a', 'Z', '0', '.', '..', ' ', '&', '=', '%', '%2', '%41', '%20', '%2F', '%00', '+', '#', '/', '\\',
    '?', ':', '*', '"', '<', '|', "\0", "\t", "\r\n", "\x7F", "\x80", "\x9F", "\xA0", "\xE7", "\xFF",
    "\xC3\xA7", "\xC2\x85", "\xE2\x82\xAC", "\xF0\x9F\x98\x80", "\xC0\xAE", "\xED\xA0\x80",
    'NoAdv=', '&Arq=', '&Senha=', '&Base=', '&Rev=1', 'novo', 'sen.txt', null, null, null];

function random_text(int $maxPieces = 12): string
{
    return random_bytes_from(PIECES, $maxPieces);
}

// The client's escaping: blanks, "#", control characters and bytes from 0x7F
// up as %XX; everything else as typed.
function client_escape(string $bytes): string
{
    return (string) preg_replace_callback('/[\x00-\x20#\x7F-\xFF]/', static fn(array $m): string
        => sprintf('%%%02X', ord($m[0])), $bytes);
}

// The parser as it was before the optional keys, to hold the new one to it.
function plain_parse(string $query, array $keys, array $get): ?array
{
    $first = $keys[0] . '=';
    if (strncmp($query, $first, strlen($first)) !== 0) {
        $fields = [];
        foreach ($keys as $key) {
            if (!isset($get[$key]) || !is_string($get[$key])) {
                return null;
            }
            $fields[$key] = $get[$key];
        }
        return $fields;
    }
    $fields = [];
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
    return $fields;
}

function random_sha(): string
{
    $sha = '';
    for ($i = 0; $i < 64; $i++) {
        $sha .= '0123456789abcdef'[mt_rand(0, 15)];
    }
    return $sha;
}

$endpoints = [
    [['NoAdv'], ['Rev' => ORV_REV_PATTERN]],
    [['NoAdv', 'Arq'], []],
    [['NoAdv', 'Arq', 'Senha'], ['Base' => ORV_BASE_PATTERN]],
];

// --- The query parser ---------------------------------------------------

// Any query: no warning, every key or null, and exactly the old reading
// unless the query ends with a well-formed optional key.
for ($r = 0; $r < $rounds; $r++) {
    $query = mt_rand(0, 3) ? 'NoAdv=' . random_text(16) : random_text(16);
    foreach ($endpoints as [$keys, $optional]) {
        try {
            $fields = orv_parse_query($query, $keys, $optional, []);
        } catch (Throwable $e) {
            check(false, 'parser never warns: ' . $e->getMessage(), $query);
            continue;
        }
        $old = plain_parse($query, $keys, []);
        $extra = [];
        $raw = str_starts_with($query, $keys[0] . '=');
        foreach ($raw ? $optional : [] as $key => $pattern) {
            $at = strrpos($query, "&$key=");
            if ($at !== false && $at >= strlen($keys[0]) + 1
                && preg_match($pattern, substr($query, $at + strlen($key) + 2))) {
                $extra[$key] = substr($query, $at + strlen($key) + 2);
            }
        }
        if ($extra === []) {
            check($fields === $old, 'without an extension key the reading is the old one', $query, implode(',', $keys));
        } else {
            $rest = plain_parse(substr($query, 0, strrpos($query, '&' . array_key_first($extra) . '=')), $keys, []);
            check($fields === ($rest === null ? null : $rest + $extra),
                'an extension key at the end is taken off whole and the rest read as before', $query);
        }
        if ($fields !== null) {
            foreach ($keys as $key) {
                check(is_string($fields[$key] ?? null), 'every key is there', $query, $key);
            }
        }
    }
}

// Values the client sends come back as they were, with or without the
// extension keys after them, as long as a value holds no later key's marker
// and no literal escape that the client itself would have made.
$ambiguous = static function (string $value, array $laterMarkers): bool {
    foreach ($laterMarkers as $marker) {
        if (str_contains($value, $marker)) {
            return true;
        }
    }
    return orv_wire_decode($value) !== $value;
};
$checked = 0;
for ($r = 0; $r < $rounds; $r++) {
    $adventure = random_text(6);
    $file = random_text(6);
    $password = random_text(6);
    if ($ambiguous($adventure, ['&Arq=']) || $ambiguous($file, ['&Senha=']) || $ambiguous($password, [])
        || preg_match('/&Base=([0-9a-fA-F]{64}|novo)\z/', $password) || preg_match('/&Rev=1\z/', $adventure)) {
        continue;
    }
    $checked++;
    $upload = 'NoAdv=' . client_escape($adventure) . '&Arq=' . client_escape($file) . '&Senha=' . client_escape($password);
    $expected = ['NoAdv' => $adventure, 'Arq' => $file, 'Senha' => $password];
    [$keys, $optional] = $endpoints[2];
    check(orv_parse_query($upload, $keys, $optional) === $expected, 'an upload query reads back', $upload);
    $base = mt_rand(0, 4) ? random_sha() : 'novo';
    check(orv_parse_query("$upload&Base=$base", $keys, $optional) === $expected + ['Base' => $base],
        'an upload query with its base reads back', "$upload&Base=$base");
    // A base that is not well formed is part of the password, as it always was.
    $bad = substr($base, 0, mt_rand(0, strlen($base) - 1)) . (mt_rand(0, 1) ? 'g' : '');
    check(orv_parse_query("$upload&Base=$bad", $keys, $optional) === array_merge($expected, ['Senha' => "$password&Base=$bad"]),
        'a malformed base stays in the password', "$upload&Base=$bad");
    $list = 'NoAdv=' . client_escape($adventure);
    [$keys, $optional] = $endpoints[0];
    check(orv_parse_query($list, $keys, $optional) === ['NoAdv' => $adventure], 'a list query reads back', $list);
    check(orv_parse_query("$list&Rev=1", $keys, $optional) === ['NoAdv' => $adventure, 'Rev' => '1'],
        'a list query with Rev=1 reads back', "$list&Rev=1");
}
check($checked > $rounds / 4, 'enough client queries were tried', $checked);

// A query another client builds goes through PHP's own parsing.
check(orv_parse_query('Arq=x&NoAdv=y', ['NoAdv', 'Arq'], [], ['Arq' => 'x', 'NoAdv' => 'y'])
    === ['NoAdv' => 'y', 'Arq' => 'x'], 'other key orders are read through $_GET');
check(orv_parse_query('Rev=1&NoAdv=y', ['NoAdv'], ['Rev' => ORV_REV_PATTERN], ['Rev' => '1', 'NoAdv' => 'y'])
    === ['NoAdv' => 'y', 'Rev' => '1'], 'Rev through $_GET');
check(orv_parse_query('Rev=2&NoAdv=y', ['NoAdv'], ['Rev' => ORV_REV_PATTERN], ['Rev' => '2', 'NoAdv' => 'y'])
    === ['NoAdv' => 'y'], 'a malformed Rev through $_GET is ignored');
check(orv_parse_query('x=1', ['NoAdv'], [], ['NoAdv' => ['a']]) === null, 'an array value is no value');
foreach (['', 'NoAdv', 'NoAdv=', 'NoAdv=&Rev=1', 'NoAdv=a&Rev=1&Rev=1', 'NoAdv=&Arq=&Senha=&Base=novo',
    "NoAdv=a&Arq=b&Senha=c&Base=novo\n", 'NoAdv=a&Arq=b&Senha=&Base=' . str_repeat('A', 64)] as $query) {
    foreach ($endpoints as [$keys, $optional]) {
        try {
            orv_parse_query($query, $keys, $optional, []);
        } catch (Throwable $e) {
            check(false, 'parser never warns: ' . $e->getMessage(), $query);
        }
    }
}
check(orv_parse_query('NoAdv=&Rev=1', ['NoAdv'], ['Rev' => ORV_REV_PATTERN]) === ['NoAdv' => '', 'Rev' => '1'],
    'an empty adventure with Rev=1');
check(orv_parse_query("NoAdv=a&Arq=b&Senha=c&Base=novo\n", ['NoAdv', 'Arq', 'Senha'], ['Base' => ORV_BASE_PATTERN])
    === ['NoAdv' => 'a', 'Arq' => 'b', 'Senha' => "c&Base=novo\n"], 'a line break after the base spoils it');

// --- Names and passwords ------------------------------------------------

$nameEdges = ['', '.', '..', '...', ' ', 'a.', 'a ', ' a', 'a..b', '.a', 'a/b', '/', 'a\\b', "a\0b", "\0", 'a:b',
    'sen.txt', 'SEN.TXT', str_repeat('a', 255), str_repeat('a', 256), str_repeat('a', 253) . "\xC3\xA7",
    str_repeat('a', 254) . "\xC3\xA7", "\xC0\xAE", "\xC0\xAE\xC0\xAE", "\xE0\x80\xAE", "\xED\xA0\x80", "\xF4\x90\x80\x80",
    "\xC2\x85", "\xC2\xA0", "a\xC2\xA0", "\xE2\x80\xAE", "\xEF\xBC\x8F", "\xEF\xBB\xBF", "\xFF", "a\tb", "a\x7Fb",
    "\xE2\x82\xAC.png", "ma\xC3\xA7\xC3\xA3.scp", '%2e%2e', '..%2Fsegredo.txt', 'run', 'history', 'locks'];
$names = $nameEdges;
for ($r = 0; $r < $rounds; $r++) {
    $names[] = random_text(8);
    $names[] = orv_cp1252_to_utf8(random_text(8));
}
foreach ($names as $name) {
    try {
        $valid = orv_valid_name($name);
    } catch (Throwable $e) {
        check(false, 'the name check never warns: ' . $e->getMessage(), $name);
        continue;
    }
    if (!$valid) {
        continue;
    }
    check(strpbrk($name, "/\\\0") === false, 'an accepted name has no "/", "\\" or NUL', $name);
    check($name !== '.' && $name !== '..' && basename($name) === $name, 'an accepted name is one path segment', $name);
    check(strlen($name) <= 255 && preg_match('//u', $name) === 1, 'an accepted name is UTF-8 of at most 255 bytes', $name);
    check(!preg_match('/[\x{0}-\x{1F}\x{7F}-\x{9F}]/u', $name), 'an accepted name has no control character', $name);
    check(!in_array(substr($name, -1), ['.', ' '], true), 'an accepted name ends in neither dot nor blank', $name);
    check(strpbrk($name, '<>:"|?*') === false, 'an accepted name has none of the characters Windows refuses', $name);
}
foreach (['.', '..', '', 'a/b', 'a\\b', "a\0b", 'a.', 'a ', str_repeat('a', 256), "\xC0\xAE\xC0\xAE", "\xED\xA0\x80"] as $bad) {
    check(!orv_valid_name($bad), 'refused name', $bad);
}
foreach (['a', 'a..b', '.a', '%2e%2e', 'ma' . "\xC3\xA7\xC3\xA3" . '.scp', str_repeat('a', 255)] as $good) {
    check(orv_valid_name($good), 'accepted name', $good);
}
check(orv_is_password_file('Sen.TXT') && !orv_is_password_file('sen.txt.bak'), 'the password file in any case');

for ($r = 0; $r < $rounds; $r++) {
    $password = orv_cp1252_to_utf8(random_text(6));
    if (orv_valid_password($password)) {
        check(strpbrk($password, "\0\r\n\t") === false && $password !== '', 'an accepted password has no control character',
            $password);
    }
}
check(!orv_valid_password("demo\0x") && !orv_valid_password('') && orv_valid_password('50%41'), 'password edges');

// --- The code page ------------------------------------------------------

for ($b = 0; $b < 256; $b++) {
    $utf8 = orv_cp1252_to_utf8(chr($b));
    check(preg_match('//u', $utf8) === 1, 'every byte becomes UTF-8', chr($b));
    check(orv_utf8_to_cp1252($utf8) === chr($b), 'every byte comes back', chr($b));
}
for ($r = 0; $r < $rounds; $r++) {
    $bytes = random_text(10);
    $utf8 = orv_cp1252_to_utf8($bytes);
    check(preg_match('//u', $utf8) === 1, 'Windows-1252 becomes UTF-8', $bytes);
    check(orv_utf8_to_cp1252($utf8) === $bytes, 'Windows-1252 -> UTF-8 -> Windows-1252 is the identity', $bytes);
    // Any text: not UTF-8 or not in the code page gives null, otherwise it comes back.
    $text = random_text(6);
    $back = orv_utf8_to_cp1252($text);
    if (preg_match('//u', $text) !== 1) {
        check($back === null, 'text that is not UTF-8 has no Windows-1252', $text);
    } elseif ($back !== null) {
        check(orv_cp1252_to_utf8($back) === $text, 'UTF-8 -> Windows-1252 -> UTF-8 is the identity', $text);
    }
}
check(orv_utf8_to_cp1252("\xF0\x9F\x98\x80") === null && orv_utf8_to_cp1252("\xC2\x80") === null
    && orv_utf8_to_cp1252("\xE2\x82\xAC") === "\x80", 'characters outside the code page');

// --- Escapes and addresses ----------------------------------------------

for ($r = 0; $r < $rounds; $r++) {
    $bytes = random_text(10);
    if (orv_wire_decode($bytes) === $bytes) {
        check(orv_wire_decode(client_escape($bytes)) === $bytes, 'the client escapes come undone', $bytes);
    }
    $decoded = orv_wire_decode($bytes);
    check(strlen($decoded) <= strlen($bytes), 'decoding never lengthens', $bytes);
}
check(orv_wire_decode('50%41%20x%2F%2f%00') === "50%41 x%2F%2f\0", 'only the escapes the client makes are decoded');

$keys = [];
foreach (['127.0.0.1', '127.0.0.2', '::1', '2001:db8::1', '2001:db8::ffff', '2001:db8:0:1::1', '::ffff:127.0.0.1',
    '', 'nada', '1.2.3', '::ffff:300.1.1.1', "\0"] as $address) {
    try {
        $keys[$address] = orv_client_key($address);
    } catch (Throwable $e) {
        check(false, 'the client key never warns: ' . $e->getMessage(), $address);
    }
}
check($keys['2001:db8::1'] === $keys['2001:db8::ffff'] && $keys['2001:db8::1'] !== $keys['2001:db8:0:1::1'],
    'an IPv6 address counts by its /64');
check($keys['::ffff:127.0.0.1'] === $keys['127.0.0.1'] && $keys['127.0.0.1'] !== $keys['127.0.0.2'],
    'IPv4, mapped or not, by the whole address');

// --- Version names --------------------------------------------------------

foreach (['20250102T030405.123456Z', '20250102T030405.123456Z-conflito'] as $id) {
    check(preg_match(ORV_VERSION_PATTERN, $id) === 1 && orv_valid_name($id), 'a version name', $id);
}
foreach (['20250102T030405.123456Z/..', '../20250102T030405.123456Z', '20250102T030405.123456Z ', 'atual', ''] as $id) {
    check(preg_match(ORV_VERSION_PATTERN, $id) !== 1, 'not a version name', $id);
}

if ($failures > 0) {
    fwrite(STDERR, "$failures failures (seed $seed)\n");
    exit(1);
}
echo "all properties hold (seed $seed, $rounds rounds)\n";
