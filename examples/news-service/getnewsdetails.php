<?php
// The HTML body of the message "newsid", escaped, followed by "¯OK".
// Errors: CONNECTIONFAIL, INVALIDUSER, INVALIDPRODUCT, INVALIDNEWS.
require __DIR__ . '/news-common.php';

$data = news_check_request();
$id = $_POST['newsid'] ?? '';
if (!preg_match('/^[0-9]+$/', $id) || !array_key_exists((int)$id, $data['messages']))
    news_reply('INVALIDNEWS');
news_reply(news_escape($data['messages'][(int)$id]['body']) . NEWS_LIST_SEPARATOR . 'OK');
