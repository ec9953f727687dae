<?php
// Shared code of the two news scripts: reads the message file and checks a request.
// Every text is handled as Windows-1252 bytes, exactly as the program sends and expects them.

const NEWS_LIST_SEPARATOR = "\xAF"; // "¯" in Windows-1252

// The message file: QUILLET_NEWS_MESSAGES names another one (the tests use this).
function news_message_file(): string
{
    $path = getenv('QUILLET_NEWS_MESSAGES');
    return ($path !== false && $path !== '') ? $path : __DIR__ . '/messages.txt';
}

// Ends the request with one reply text and nothing else.
function news_reply(string $text): never
{
    header('Content-Type: text/html; charset=windows-1252');
    echo $text;
    exit;
}

// Reads the message file into ['publishers' => [id => [types]], 'products' => [codes],
// 'messages' => [id => ['title', 'date', 'body']]], or null when it cannot be read or is malformed.
function news_load(): ?array
{
    $text = @file_get_contents(news_message_file());
    if ($text === false)
        return null;
    $data = ['publishers' => [], 'products' => [], 'messages' => []];
    $current = null;
    foreach (preg_split("/\r\n|\r|\n/", $text) as $line) {
        if ($line !== '' && $line[0] === '#')
            continue;
        if (preg_match('/^publisher:\s*(\S+)\s*(.*)$/', $line, $m)) {
            $data['publishers'][$m[1]] = preg_split('/\s+/', trim($m[2]), -1, PREG_SPLIT_NO_EMPTY);
            $current = null;
        } elseif (preg_match('/^product:\s*(\S+)\s*$/', $line, $m)) {
            $data['products'][] = $m[1];
            $current = null;
        } elseif (preg_match('/^message:\s*(.*)$/', $line, $m)) {
            $fields = explode('^', $m[1]);
            if (count($fields) < 3 || !preg_match('/^[0-9]+$/', $fields[0]) || strpos($m[1], NEWS_LIST_SEPARATOR) !== false)
                return null;
            $current = (int)$fields[0];
            $data['messages'][$current] = ['title' => $fields[1], 'date' => $fields[2], 'body' => ''];
        } elseif ($current !== null) {
            $data['messages'][$current]['body'] .= $line . "\r\n";
        }
    }
    foreach ($data['messages'] as &$message)
        $message['body'] = rtrim($message['body']);
    unset($message);
    krsort($data['messages'], SORT_NUMERIC); // newest (highest id) first
    return $data;
}

// Checks the common fields of a request and returns the data, or ends with the error code.
function news_check_request(): array
{
    $data = news_load();
    if ($data === null)
        news_reply('CONNECTIONFAIL');
    $user = $_POST['memusername'] ?? '';
    if ($user === '' || !array_key_exists($user, $data['publishers']))
        news_reply('INVALIDUSER');
    $code = $_POST['prodcode'] ?? '';
    $type = $_POST['prodtype'] ?? '';
    if (!in_array($code, $data['products'], true) || !in_array($type, $data['publishers'][$user], true))
        news_reply('INVALIDPRODUCT');
    return $data;
}

// One news entry: id, title and date separated by "^".
function news_entry(int $id, array $message): string
{
    return $id . '^' . $message['title'] . '^' . $message['date'];
}

// "$" and two hexadecimal digits for every byte that is not printable ASCII, for "$" itself and
// for a leading space, so that the body survives the reply's trimming and cannot hold the list
// separator.
function news_escape(string $bytes): string
{
    $out = '';
    $n = strlen($bytes);
    for ($i = 0; $i < $n; $i++) {
        $c = ord($bytes[$i]);
        $plain = $c >= 0x20 && $c < 0x7F && $c !== 0x24 && !($c === 0x20 && $i === 0);
        $out .= $plain ? $bytes[$i] : sprintf('$%02X', $c);
    }
    return $out;
}
