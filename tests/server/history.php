<?php
// The versions the server keeps of replaced files: what an upload keeps, what
// a base refuses, the retention limits and the restore, on a data folder of
// its own (no server needed).
//   php -n tests/server/history.php
// Exits 1 and says what failed.

declare(strict_types=1);

require __DIR__ . '/../../server/lib.php';

set_error_handler(static function (int $level, string $message, string $file, int $line): bool {
    if ((error_reporting() & $level) === 0) {
        return false;  // silenced on purpose with "@"
    }
    throw new ErrorException($message, 0, $level, $file, $line);
});

$failures = 0;
function check(bool $holds, string $what): void
{
    global $failures;
    if (!$holds) {
        $failures++;
        fwrite(STDERR, "FAIL $what\n");
    }
}

$root = sys_get_temp_dir() . '/orvalis-history-' . getmypid();
$parent = getmypid();
register_shutdown_function(static function () use ($root, $parent): void {
    if (getmypid() === $parent) {
        exec('rm -rf ' . escapeshellarg($root));
    }
});

function fresh_data(string $root, string $name): string
{
    $data = "$root/$name";
    mkdir("$data/adventures/Floresta", 0775, true);
    return $data;
}

// An upload as the router makes it: the bytes in tmp/, then put in place.
function upload(string $data, string $file, string $bytes, ?string $base = null): string
{
    $tmp = orv_temp_file($data);
    file_put_contents($tmp, $bytes);
    return orv_store_upload($data, 'Floresta', $file, $tmp, $base);
}

/** @return list<string> the bytes of each version, oldest first, the current one last */
function versions(string $data, string $file): array
{
    $out = [];
    foreach (orv_version_ids($data, 'Floresta', $file) as $id) {
        $out[] = file_get_contents(orv_history_dir($data, 'Floresta', $file) . "/$id");
    }
    $current = "$data/adventures/Floresta/$file";
    if (is_file($current)) {
        $out[] = file_get_contents($current);
    }
    return $out;
}

function tmp_is_empty(string $data): bool
{
    return array_diff(scandir("$data/tmp"), ['.', '..']) === [];
}

// Every replaced version is kept, in order, outside the adventure's folder;
// bytes that are already the current file add nothing.
putenv('ORVALIS_VERSOES_MAX');
putenv('ORVALIS_VERSOES_BYTES');
$data = fresh_data($root, 'keep');
foreach (['um', 'dois', 'dois', 'tres'] as $bytes) {
    check(upload($data, 'sala.scp', $bytes) === ORV_STORED, "plain upload $bytes");
}
check(versions($data, 'sala.scp') === ['um', 'dois', 'tres'], 'every version kept once, oldest first');
check(array_diff(scandir("$data/adventures/Floresta"), ['.', '..']) === [2 => 'sala.scp'],
    'the adventure folder holds the current file only');
check(tmp_is_empty($data), 'tmp/ is empty after uploads');
$ids = orv_version_ids($data, 'Floresta', 'sala.scp');
check(count($ids) === 2 && strcmp($ids[0], $ids[1]) < 0 && preg_match(ORV_VERSION_PATTERN, $ids[0]) === 1,
    'version names sort in the order kept');
$listed = orv_list_versions($data, 'Floresta', 'sala.scp');
check(count($listed) === 3 && $listed[2][3] === 'atual' && $listed[0][1] === 2 && $listed[0][2] === hash('sha256', 'um')
    && preg_match('/\A\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ\z/', $listed[0][0]) === 1, 'the listing: time, size, sha, version');

// The base: the right one stores, a stale one or "novo" on an existing file
// is refused and its bytes kept as a version of their own.
$current = hash('sha256', 'tres');
check(upload($data, 'sala.scp', 'quatro', hash('sha256', 'dois')) === ORV_CONFLICT, 'a stale base is a conflict');
check(upload($data, 'sala.scp', 'quatro', 'novo') === ORV_CONFLICT, '"novo" on an existing file is a conflict');
check(file_get_contents("$data/adventures/Floresta/sala.scp") === 'tres', 'a conflict writes nothing in place');
$ids = orv_version_ids($data, 'Floresta', 'sala.scp');
check(count($ids) === 4 && str_ends_with($ids[3], ORV_CONFLICT_SUFFIX), 'the refused bytes are kept, marked');
check(upload($data, 'sala.scp', 'tres', hash('sha256', 'um')) === ORV_STORED, 'the bytes already there are no conflict');
check(upload($data, 'sala.scp', 'cinco', strtoupper($current)) === ORV_STORED, 'the right base stores (any case)');
check(upload($data, 'novo.scp', 'x', hash('sha256', 'x')) === ORV_CONFLICT, 'a base for a missing file is a conflict');
check(upload($data, 'novo.scp', 'x', 'novo') === ORV_STORED, '"novo" stores a new file');
check(tmp_is_empty($data), 'tmp/ is empty after conflicts');

// Restore puts a version back and keeps the one it replaces.
$first = orv_version_ids($data, 'Floresta', 'sala.scp')[0];
check(orv_restore_version($data, 'Floresta', 'sala.scp', $first) === null, 'restore');
check(file_get_contents("$data/adventures/Floresta/sala.scp") === 'um', 'the restored bytes are in place');
$all = versions($data, 'sala.scp');
check($all[0] === 'um' && $all[count($all) - 2] === 'cinco' && end($all) === 'um', 'the replaced one is kept, the restored one stays');
check(orv_restore_version($data, 'Floresta', 'sala.scp', '20000101T000000.000000Z') !== null, 'an unknown version');
check(orv_restore_version($data, 'Floresta', 'sala.scp', '../../grupos.json') !== null, 'a version that is a path');
check(tmp_is_empty($data), 'tmp/ is empty after restores');

// Retention by count per file, oldest first; 0 keeps nothing.
putenv('ORVALIS_VERSOES_MAX=3');
$data = fresh_data($root, 'count');
for ($i = 1; $i <= 7; $i++) {
    upload($data, 'a.scp', "a$i");
    upload($data, 'b.scp', "b$i");
}
check(versions($data, 'a.scp') === ['a4', 'a5', 'a6', 'a7'], 'at most 3 versions of a file, the newest');
check(versions($data, 'b.scp') === ['b4', 'b5', 'b6', 'b7'], 'counted per file');
putenv('ORVALIS_VERSOES_MAX=0');
upload($data, 'a.scp', 'a8');
check(upload($data, 'a.scp', 'refused', 'novo') === ORV_CONFLICT, 'a conflict without history');
check(versions($data, 'a.scp') === ['a8'] && tmp_is_empty($data), '0 keeps no version, not even the refused bytes');
check(!is_dir(orv_history_dir($data, 'Floresta', 'a.scp')), 'an emptied history folder goes');

// Retention by bytes per adventure, oldest first across its files.
putenv('ORVALIS_VERSOES_MAX');
putenv('ORVALIS_VERSOES_BYTES=25');
$data = fresh_data($root, 'bytes');
foreach (['a.scp' => 'aaaaaaaaaa', 'b.scp' => 'bbbbbbbbbb'] as $file => $bytes) {
    upload($data, $file, $bytes . '0');
}
foreach ([1, 2] as $i) {
    foreach (['a.scp' => 'aaaaaaaaaa', 'b.scp' => 'bbbbbbbbbb'] as $file => $bytes) {
        upload($data, $file, $bytes . $i);
    }
}
// Four versions of 11 bytes were kept in the order a0 b0 a1 b1; 25 bytes hold the last two.
check(versions($data, 'a.scp') === ['aaaaaaaaaa1', 'aaaaaaaaaa2'] && versions($data, 'b.scp') === ['bbbbbbbbbb1', 'bbbbbbbbbb2'],
    'at most 25 bytes of versions per adventure, the newest');
putenv('ORVALIS_VERSOES_BYTES=nada');
ini_set('error_log', '/dev/null');
check(orv_versions_bytes() === ORV_DEFAULT_VERSIONS_BYTES && orv_versions_max() === ORV_DEFAULT_VERSIONS_MAX,
    'a setting that is not a number falls back to the default');
putenv('ORVALIS_VERSOES_BYTES');

// Many writers with the same base, as several workers or servers would be:
// exactly one stores, every other one is a conflict, nothing is lost.
if (function_exists('pcntl_fork')) {
    $data = fresh_data($root, 'race');
    // Files large enough that a check and a replace take a while.
    $filler = str_repeat('x', 2 * 1024 * 1024);
    upload($data, 'sala.scp', "base$filler");
    $base = hash('sha256', "base$filler");
    $children = [];
    for ($i = 0; $i < 8; $i++) {
        $pid = pcntl_fork();
        if ($pid === 0) {
            usleep(20000);
            $result = upload($data, 'sala.scp', "autor $i$filler", $base);
            exit($result === ORV_STORED ? 0 : ($result === ORV_CONFLICT ? 3 : 4));
        }
        $children[] = $pid;
    }
    $stored = 0;
    $conflicts = 0;
    foreach ($children as $pid) {
        pcntl_waitpid($pid, $status);
        $code = pcntl_wexitstatus($status);
        $stored += $code === 0 ? 1 : 0;
        $conflicts += $code === 3 ? 1 : 0;
    }
    check($stored === 1 && $conflicts === 7, "one of eight racing uploads stores ($stored stored, $conflicts conflicts)");
    $all = versions($data, 'sala.scp');
    sort($all);
    $expected = ["base$filler"];
    for ($i = 0; $i < 8; $i++) {
        $expected[] = "autor $i$filler";
    }
    sort($expected);
    check($all === $expected, 'the base, the winner and every refused upload are on the server');
}

if ($failures > 0) {
    fwrite(STDERR, "$failures failures\n");
    exit(1);
}
echo "history: all checks hold\n";
