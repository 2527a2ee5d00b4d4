// The script's own version, checked against the page's before the module is fetched: on a
// mismatch the module never loads, as the page reloads or says why.
if (!TrackerPage.sameVersion('script', '@PROJECT_VERSION@'))
  Module['instantiateWasm'] = function() { return {}; };
