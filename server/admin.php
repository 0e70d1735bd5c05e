<?php
// Administration of the reference server's data folder.
//
// Creates a group, or gives an existing one a new password (and display
// text, when one is given):
//   php admin.php DATA_DIR GROUPNAME PASSWORD [DISPLAY TEXT]
// The group's adventure folder is created empty if missing.
// ORVALIS_HASH_COST (4..31) sets the bcrypt cost of the stored hash; the
// default is PHP's. Every upload verifies the password once, so benchmarks
// use a low cost to measure the transfer rather than the hashing.
//
// Lists the kept versions of a file, oldest first, then the current file as
// "atual": one line each, "time size sha256 version" (time in ISO 8601, UTC):
//   php admin.php historico DATA_DIR GROUPNAME FILE
// Puts a version back as the current file; the one it replaces is kept:
//   php admin.php restaurar DATA_DIR GROUPNAME FILE VERSION
// (A data folder named "historico" or "restaurar" is given as ./historico.)

declare(strict_types=1);

require __DIR__ . '/lib.php';

function fail(string $message): never
{
    fwrite(STDERR, "admin.php: $message\n");
    exit(1);
}

if (PHP_SAPI !== 'cli') {
    http_response_code(403);
    exit;
}
// GROUPNAME and FILE as stored on disk (UTF-8), checked as the router checks them.
function adventure_file(string $dataDir, string $group, string $name): void
{
    if (!orv_valid_name($group) || !is_dir(orv_adventure_dir($dataDir, $group))) {
        fail("grupo não encontrado: \"$group\"");
    }
    if (!orv_valid_name($name) || orv_is_password_file($name)) {
        fail("nome de arquivo inválido: \"$name\"");
    }
}

// What this script writes belongs to the owner of the data folder, whose
// workers read and replace it (grupos.json is theirs alone, mode 0600), also
// when root runs it.
function match_owner(string $dataDir, array $paths): void
{
    $uid = @fileowner($dataDir);
    $gid = @filegroup($dataDir);
    if ($uid === false || $gid === false) {
        return;
    }
    foreach ($paths as $path) {
        if (file_exists($path) && (@fileowner($path) !== $uid || @filegroup($path) !== $gid)) {
            @chown($path, $uid);
            @chgrp($path, $gid);
        }
    }
}

// The files and folders a change of $name's versions may have made.
function version_paths(string $dataDir, string $group, string $name): array
{
    $history = orv_history_dir($dataDir, $group, $name);
    $paths = ["$dataDir/locks", "$dataDir/locks/" . hash('sha256', $group), "$dataDir/tmp",
        "$dataDir/history", orv_history_dir($dataDir, $group), $history,
        orv_adventure_dir($dataDir, $group), orv_adventure_dir($dataDir, $group) . '/' . $name];
    foreach (orv_version_ids($dataDir, $group, $name) as $id) {
        $paths[] = "$history/$id";
    }
    return $paths;
}

$command = $argv[1] ?? '';
if ($command === 'historico') {
    if ($argc !== 5) {
        fail("uso: php admin.php historico PASTA_DE_DADOS GRUPO ARQUIVO");
    }
    [, , $dataDir, $group, $name] = $argv;
    $dataDir = rtrim($dataDir, '/');
    adventure_file($dataDir, $group, $name);
    $lines = orv_list_versions($dataDir, $group, $name);
    if ($lines === []) {
        fail("nenhuma versão de \"$name\" em \"$group\"");
    }
    foreach ($lines as [$time, $size, $sha, $id]) {
        echo "$time $size $sha $id\n";
    }
    exit(0);
}
if ($command === 'restaurar') {
    if ($argc !== 6) {
        fail("uso: php admin.php restaurar PASTA_DE_DADOS GRUPO ARQUIVO VERSAO");
    }
    [, , $dataDir, $group, $name, $id] = $argv;
    $dataDir = rtrim($dataDir, '/');
    adventure_file($dataDir, $group, $name);
    $error = orv_restore_version($dataDir, $group, $name, $id);
    match_owner($dataDir, version_paths($dataDir, $group, $name));
    if ($error !== null) {
        fail($error);
    }
    echo "Versão $id restaurada: $group/$name\n";
    exit(0);
}

if ($argc < 4 || $argc > 5) {
    fail("uso: php admin.php PASTA_DE_DADOS GRUPO SENHA [TEXTO EXIBIDO]\n"
        . "     php admin.php historico PASTA_DE_DADOS GRUPO ARQUIVO\n"
        . "     php admin.php restaurar PASTA_DE_DADOS GRUPO ARQUIVO VERSAO");
}
[, $dataDir, $name, $password] = $argv;
$display = $argv[4] ?? $name;
$dataDir = rtrim($dataDir, '/');

// The client joins "display|name" and takes the name after the first "|", and
// uses the name as a folder on the author's disk.
if (!orv_valid_name($name) || orv_utf8_to_cp1252($name) === null || trim($name) !== $name) {
    fail("nome de grupo inválido: \"$name\"");
}
if ($display === '' || str_contains($display, '|') || preg_match('/[\x{0}-\x{1F}\x{7F}-\x{9F}]/u', $display)
    || orv_utf8_to_cp1252($display) === null) {
    fail("texto exibido inválido: \"$display\"");
}
// The password travels in Windows-1252 in the upload URLs.
if (!orv_valid_password($password) || orv_utf8_to_cp1252($password) === null) {
    fail("senha inválida (vazia, com caracteres de controle ou fora do Windows-1252)");
}

foreach ([$dataDir, "$dataDir/adventures", "$dataDir/tmp", orv_adventure_dir($dataDir, $name)] as $dir) {
    if (!orv_ensure_dir($dir)) {
        fail("não foi possível criar a pasta \"$dir\"");
    }
}

$groups = orv_read_groups($dataDir);
$options = [];
$cost = getenv('ORVALIS_HASH_COST');
if ($cost !== false && $cost !== '') {
    if (!preg_match('/^[0-9]{1,2}$/', $cost) || (int) $cost < 4 || (int) $cost > 31) {
        fail("ORVALIS_HASH_COST deve ser um número de 4 a 31");
    }
    $options['cost'] = (int) $cost;
}
$entry = ['name' => $name, 'display' => $display, 'hash' => password_hash($password, PASSWORD_BCRYPT, $options)];
$found = false;
foreach ($groups as $i => $group) {
    if (($group['name'] ?? null) === $name) {
        $groups[$i] = $entry;
        $found = true;
    }
}
if (!$found) {
    $groups[] = $entry;
}
if (!orv_write_groups($dataDir, $groups)) {
    fail("não foi possível gravar " . orv_groups_path($dataDir));
}
match_owner($dataDir, [orv_groups_path($dataDir), "$dataDir/adventures", "$dataDir/tmp",
    orv_adventure_dir($dataDir, $name)]);
echo ($found ? "Grupo atualizado: " : "Grupo criado: ") . $name . "\n";
