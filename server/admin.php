<?php
// Creates a group of the reference server, or gives an existing one a new
// password (and display text, when one is given):
//   php admin.php DATA_DIR GROUPNAME PASSWORD [DISPLAY TEXT]
// The group's adventure folder is created empty if missing.
// ORVALIS_HASH_COST (4..31) sets the bcrypt cost of the stored hash; the
// default is PHP's. Every upload verifies the password once, so benchmarks
// use a low cost to measure the transfer rather than the hashing.

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
if ($argc < 4 || $argc > 5) {
    fail("uso: php admin.php PASTA_DE_DADOS GRUPO SENHA [TEXTO EXIBIDO]");
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
$json = json_encode(['groups' => array_values($groups)], JSON_PRETTY_PRINT | JSON_UNESCAPED_UNICODE | JSON_UNESCAPED_SLASHES);
if ($json === false || !orv_write_atomically($dataDir, orv_groups_path($dataDir), $json . "\n")) {
    fail("não foi possível gravar " . orv_groups_path($dataDir));
}
echo ($found ? "Grupo atualizado: " : "Grupo criado: ") . $name . "\n";
