// Actions queued on the demo server for one page (by the tests and the demo script) run
// here in order, so the browser features can be driven without clicking.
// Each page names itself with <body data-page="...">.
function report(what, value) {
  return fetch('/demo/report?what=' + encodeURIComponent(what) + '&value=' + encodeURIComponent(value),
               { cache: 'no-store' }).catch(function () {});
}

var pageActions = pageActions || {};
pageActions.goto = function (path) { location.href = path; };

(function pollActions() {
  var page = document.body.dataset.page || '';
  fetch('/demo/next-action?page=' + encodeURIComponent(page), { cache: 'no-store' })
    .then(function (reply) { return reply.status === 200 ? reply.text() : ''; })
    .then(function (text) {
      if (!text) return;
      var at = text.indexOf(':');
      var name = at < 0 ? text : text.slice(0, at);
      var argument = at < 0 ? '' : text.slice(at + 1);
      if (pageActions[name]) pageActions[name](argument);
    })
    .catch(function () {})
    .then(function () { setTimeout(pollActions, 200); });
})();
