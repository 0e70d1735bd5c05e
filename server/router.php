<?php
// The reference adventure server: the one script behind nginx and php-fpm, or
// the router of "php -S" (see start.sh). Everything below /Orvalis/:
//   grupos.php                          "Ok", then one "display text|name" per group
//   lstarqs.php?NoAdv=A                 "Ok", then the file names of adventure A
//   gettxt.php?NoAdv=A&Arq=F            "Ok", then the lines of file F
//   puttxt.php?NoAdv=A&Arq=F&Senha=S    POST, form field Txt: stores F
//   putarq.php?NoAdv=A&Arq=F&Senha=S    POST, form file Img: stores F
//   A/F                                 the bytes of file F
// Replies are Windows-1252 text; the uploads answer a short status text with
// HTTP 200, so that the author reads it in the editor's status label.
//
// Revisions, an extension that lstarqs.php offers with the response header
// "X-Orvalis-Revisoes: sha256" (clients that do not know it never send it):
//   lstarqs.php?NoAdv=A&Rev=1           "Ok", then "name TAB size TAB sha256" per file
//   puttxt.php / putarq.php ...&Senha=S&Base=B
//                                       stores F only if the server's F is still
//                                       the version whose SHA-256 is B ("novo":
//                                       F must not exist); "Conflito!" otherwise
// Every replaced file is kept as a version (lib.php; admin.php historico).
//
// The client puts names and passwords into the query string unescaped, so a
// name holding "&" would be cut by PHP's own parsing ($_GET splits at every
// "&", turns "+" into a blank and "." in keys into "_"). The query is read raw
// instead, in the client's fixed key order (orv_parse_query).

declare(strict_types=1);

require __DIR__ . '/lib.php';

$dataDir = getenv('ORVALIS_DATA');
if ($dataDir === false || $dataDir === '' || !is_dir($dataDir)) {
    http_response_code(500);
    header('Content-Type: text/plain; charset=windows-1252');
    echo "Pasta de dados do servidor ausente\r\n";
    return true;
}
$dataDir = rtrim($dataDir, '/');

header_remove('X-Powered-By');

function reply_text(string $utf8, int $status = 200): void
{
    http_response_code($status);
    header('Content-Type: text/plain; charset=windows-1252');
    echo orv_utf8_to_cp1252($utf8) ?? '?';
}

// Text replies are small and compress well; announce and send gzip when asked.
function compress_reply(): void
{
    ini_set('zlib.output_compression', '1');
}

/** @return array<string, string>|null */
function query_fields(array $keys, array $optional = []): ?array
{
    return orv_parse_query((string) ($_SERVER['QUERY_STRING'] ?? ''), $keys, $optional, $_GET);
}

// Names arrive in Windows-1252; on disk they are UTF-8.
function wire_name(string $bytes): string
{
    return orv_cp1252_to_utf8($bytes);
}

function list_groups(string $dataDir): void
{
    compress_reply();
    $out = "Ok\r\n";
    foreach (orv_read_groups($dataDir) as $group) {
        $line = orv_utf8_to_cp1252(($group['display'] ?? $group['name']) . '|' . $group['name']);
        if ($line !== null) {
            $out .= $line . "\r\n";
        }
    }
    header('Content-Type: text/plain; charset=windows-1252');
    echo $out;
}

function list_files(string $dataDir): void
{
    header('X-Orvalis-Revisoes: sha256');
    compress_reply();
    $fields = query_fields(['NoAdv'], ['Rev' => ORV_REV_PATTERN]);
    $adventure = $fields === null ? '' : wire_name($fields['NoAdv']);
    if (!orv_valid_name($adventure) || orv_find_group($dataDir, $adventure) === null) {
        reply_text("Grupo inexistente!");
        return;
    }
    $revisions = isset($fields['Rev']);
    $out = "Ok\r\n";
    $dir = orv_adventure_dir($dataDir, $adventure);
    foreach (is_dir($dir) ? scandir($dir) : [] as $name) {
        if (!orv_valid_name($name) || orv_is_password_file($name) || !is_file("$dir/$name")) {
            continue;
        }
        $wire = orv_utf8_to_cp1252($name);
        if ($wire === null) {
            continue;
        }
        if ($revisions) {
            // Size and hash of the same bytes: the file may be replaced meanwhile.
            $handle = @fopen("$dir/$name", 'rb');
            if ($handle === false) {
                continue;
            }
            $size = fstat($handle)['size'];
            $context = hash_init('sha256');
            hash_update_stream($context, $handle);
            fclose($handle);
            $wire .= "\t" . $size . "\t" . hash_final($context);
        }
        $out .= $wire . "\r\n";
    }
    header('Content-Type: text/plain; charset=windows-1252');
    echo $out;
}

// The path of a stored file that may be read, or null.
function readable_file(string $dataDir, string $adventure, string $name): ?string
{
    if (!orv_valid_name($adventure) || !orv_valid_name($name) || orv_is_password_file($name)) {
        return null;
    }
    if (orv_find_group($dataDir, $adventure) === null) {
        return null;
    }
    $path = orv_adventure_dir($dataDir, $adventure) . '/' . $name;
    return is_file($path) ? $path : null;
}

function get_text(string $dataDir): void
{
    compress_reply();
    $fields = query_fields(['NoAdv', 'Arq']);
    $path = $fields === null ? null
        : readable_file($dataDir, wire_name($fields['NoAdv']), wire_name($fields['Arq']));
    if ($path === null) {
        reply_text("Arquivo não encontrado!");
        return;
    }
    header('Content-Type: text/plain; charset=windows-1252');
    echo "Ok\r\n";
    readfile($path);
}

// Behind nginx (which passes ORVALIS_ACCEL, the internal location of the
// adventures folder) the router only checks the request and nginx sends the
// file, so that a slow reader holds a connection and not a PHP worker.
function download(string $dataDir, string $rest): void
{
    $parts = explode('/', $rest);
    $adventure = count($parts) === 2 ? wire_name(orv_wire_decode($parts[0])) : '';
    $name = count($parts) === 2 ? wire_name(orv_wire_decode($parts[1])) : '';
    $path = readable_file($dataDir, $adventure, $name);
    if ($path === null) {
        reply_text("Arquivo não encontrado!", 404);
        return;
    }
    $accel = $_SERVER['ORVALIS_ACCEL'] ?? '';
    header('Content-Type: application/octet-stream');
    if (is_string($accel) && $accel !== '') {
        header('X-Accel-Redirect: ' . $accel . rawurlencode($adventure) . '/' . rawurlencode($name));
        return;
    }
    header('Content-Length: ' . filesize($path));
    readfile($path);
}

function upload(string $dataDir, bool $asText): void
{
    $limit = orv_max_upload();
    $fields = query_fields(['NoAdv', 'Arq', 'Senha'], ['Base' => ORV_BASE_PATTERN]);
    if ($fields === null) {
        reply_text("Pedido inválido!");
        return;
    }
    $adventure = wire_name($fields['NoAdv']);
    $name = wire_name($fields['Arq']);
    $base = isset($fields['Base']) ? strtolower($fields['Base']) : null;
    $group = orv_valid_name($adventure) ? orv_find_group($dataDir, $adventure) : null;
    if ($group === null) {
        reply_text("Grupo inexistente!");
        return;
    }
    $client = (string) ($_SERVER['REMOTE_ADDR'] ?? '');
    switch (orv_check_password($dataDir, $group, wire_name($fields['Senha']), $client)) {
        case ORV_PASSWORD_OK:
            break;
        case ORV_PASSWORD_THROTTLED:
            reply_text("Muitas senhas erradas! Tente de novo daqui a pouco.");
            return;
        default:
            reply_text("Senha incorreta!");
            return;
    }
    if (!orv_valid_name($name) || orv_is_password_file($name)) {
        reply_text("Arquivo inválido!");
        return;
    }
    // Multipart framing adds a few hundred bytes; PHP drops a body beyond
    // post_max_size, which start.sh sets above the limit.
    if ((int) ($_SERVER['CONTENT_LENGTH'] ?? 0) > $limit + 65536) {
        reply_text("Arquivo muito grande!");
        return;
    }
    if (!orv_ensure_dir(orv_adventure_dir($dataDir, $adventure))) {
        reply_text("Falha ao gravar!");
        return;
    }
    if ($asText) {
        $text = $_POST['Txt'] ?? null;
        if (!is_string($text)) {
            reply_text("Texto ausente!");
            return;
        }
        if (strlen($text) > $limit) {
            reply_text("Arquivo muito grande!");
            return;
        }
        $tmp = orv_temp_file($dataDir);
        if ($tmp === null || file_put_contents($tmp, $text) !== strlen($text)) {
            if ($tmp !== null) {
                @unlink($tmp);
            }
            reply_text("Falha ao gravar!");
            return;
        }
    } else {
        $file = $_FILES['Img'] ?? null;
        if (!is_array($file) || !is_int($file['error'] ?? null)) {
            reply_text("Arquivo ausente!");
            return;
        }
        if ($file['error'] === UPLOAD_ERR_INI_SIZE || $file['error'] === UPLOAD_ERR_FORM_SIZE
            || ($file['error'] === UPLOAD_ERR_OK && $file['size'] > $limit)) {
            reply_text("Arquivo muito grande!");
            return;
        }
        if ($file['error'] !== UPLOAD_ERR_OK || !is_uploaded_file($file['tmp_name'])) {
            reply_text("Arquivo ausente!");
            return;
        }
        // PHP's spool of uploads is on the data folder's file system (start.sh
        // puts upload_tmp_dir there), so this move and the ones that put the
        // file in place are renames, and the last one puts it there whole.
        $tmp = orv_temp_file($dataDir);
        if ($tmp === null || !move_uploaded_file($file['tmp_name'], $tmp)) {
            if ($tmp !== null) {
                @unlink($tmp);
            }
            reply_text("Falha ao gravar!");
            return;
        }
    }
    @chmod($tmp, 0664);
    switch (orv_store_upload($dataDir, $adventure, $name, $tmp, $base)) {
        case ORV_STORED:
            reply_text("Ok");
            return;
        case ORV_CONFLICT:
            reply_text("Conflito!");
            return;
        default:
            reply_text("Falha ao gravar!");
    }
}

$path = (string) strtok($_SERVER['REQUEST_URI'] ?? '/', '?');
$method = $_SERVER['REQUEST_METHOD'] ?? 'GET';
$prefix = '/Orvalis/';
if (strncmp($path, $prefix, strlen($prefix)) !== 0) {
    reply_text("Não encontrado", 404);
    return true;
}
$rest = substr($path, strlen($prefix));
$endpoints = [
    'grupos.php' => ['GET', fn() => list_groups($dataDir)],
    'lstarqs.php' => ['GET', fn() => list_files($dataDir)],
    'gettxt.php' => ['GET', fn() => get_text($dataDir)],
    'puttxt.php' => ['POST', fn() => upload($dataDir, true)],
    'putarq.php' => ['POST', fn() => upload($dataDir, false)],
];
if (isset($endpoints[$rest])) {
    [$allowed, $handler] = $endpoints[$rest];
    if ($method !== $allowed) {
        header('Allow: ' . $allowed);
        reply_text("Método não permitido", 405);
        return true;
    }
    $handler();
    return true;
}
if ($method !== 'GET' && $method !== 'HEAD') {
    reply_text("Método não permitido", 405);
    return true;
}
download($dataDir, $rest);
return true;
