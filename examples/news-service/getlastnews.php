<?php
// The news list (conttype "all") or the newest message alone (conttype "lastcode").
//   all:      every entry followed by "¯", newest first, then "OK"; "OK" alone without messages
//   lastcode: the newest entry followed by "¯OK"; "OK" alone without messages
// Errors: CONNECTIONFAIL, INVALIDUSER, INVALIDPRODUCT.
require __DIR__ . '/news-common.php';

$data = news_check_request();
$messages = $data['messages'];

if (($_POST['conttype'] ?? '') === 'lastcode') {
    if (!$messages)
        news_reply('OK');
    $id = array_key_first($messages);
    news_reply(news_entry($id, $messages[$id]) . NEWS_LIST_SEPARATOR . 'OK');
}

$reply = '';
foreach ($messages as $id => $message)
    $reply .= news_entry($id, $message) . NEWS_LIST_SEPARATOR;
news_reply($reply . 'OK');
