// A one-page PDF made in the page, as report and contract libraries make them: the objects
// written out with their byte offsets, then wrapped in a Blob.
function makeContractPdf(title, lines) {
  var text = 'BT /F1 20 Tf 72 770 Td (' + title + ') Tj ET';
  for (var i = 0; i < lines.length; i++)
    text += '\nBT /F1 12 Tf 72 ' + (730 - 20 * i) + ' Td (' + lines[i] + ') Tj ET';
  var objects = [
    '<< /Type /Catalog /Pages 2 0 R >>',
    '<< /Type /Pages /Kids [3 0 R] /Count 1 >>',
    '<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] /Contents 4 0 R /Resources << /Font << /F1 5 0 R >> >> >>',
    '<< /Length ' + text.length + ' >>\nstream\n' + text + '\nendstream',
    '<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>',
    '<< /Title (' + title + ') >>'
  ];
  var out = '%PDF-1.4\n';
  var offsets = [];
  objects.forEach(function (body, n) {
    offsets.push(out.length);
    out += (n + 1) + ' 0 obj\n' + body + '\nendobj\n';
  });
  var xref = out.length;
  out += 'xref\n0 ' + (objects.length + 1) + '\n0000000000 65535 f \n';
  offsets.forEach(function (at) { out += String(at).padStart(10, '0') + ' 00000 n \n'; });
  out += 'trailer\n<< /Size ' + (objects.length + 1) + ' /Root 1 0 R /Info 6 0 R >>\nstartxref\n' + xref + '\n%%EOF\n';
  return new Blob([out], { type: 'application/pdf' });
}
