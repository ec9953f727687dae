<?php
// Tells the test what PHP made of the request: method, protocol, headers, the form fields in
// order (values as hex, so any byte survives JSON) and the cookies.
//   ?setcookie=NAME:VALUE   set a cookie with the answer
//   ?redirect=PATH          answer 302 to PATH (after setting the cookie)
//   ?status=N               with redirect: answer N instead of 302
if (isset($_GET['setcookie'])) {
    [$name, $value] = explode(':', $_GET['setcookie'], 2);
    setcookie($name, $value, ['path' => '/']);
}
if (isset($_GET['redirect'])) {
    header('Location: ' . $_GET['redirect'], true, isset($_GET['status']) ? intval($_GET['status']) : 302);
    exit;
}
$fields = [];
foreach ($_POST as $name => $value)
    $fields[] = [$name, bin2hex($value)];
header('Content-Type: application/json');
echo json_encode([
    'method' => $_SERVER['REQUEST_METHOD'],
    'protocol' => $_SERVER['SERVER_PROTOCOL'],
    'headers' => getallheaders(),
    'fields' => $fields,
    'files' => count($_FILES),
    'cookies' => $_COOKIE,
]);
