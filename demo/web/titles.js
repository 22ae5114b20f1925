// Page commands reach the desktop client through the document title.
function sendCommand(command) {
  document.title = 'VB:' + command;
}

// Titles queued on the demo server (by tests and the demo script) are applied in order,
// one per poll, so pages can be driven without clicking.
(function pollTitles() {
  fetch('/demo/next-title', { cache: 'no-store' })
    .then(function (reply) { return reply.status === 200 ? reply.text() : ''; })
    .then(function (text) { if (text) document.title = text; })
    .catch(function () {})
    .then(function () { setTimeout(pollTitles, 200); });
})();
