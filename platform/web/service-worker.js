// The page's service worker: every file of one release in a cache named after its version,
// answered from there so that the demo opens without the network. A new release fills its own
// cache whole before it takes over, then the old one goes: no page ever gets files of two.
'use strict';
const Version = '@PROJECT_VERSION@';
const Prefix = 'tracker-screen-';
// The build's digest too, so that a rebuild of the same version replaces the cache as well.
const Cache = Prefix + Version + '-@TRACKER_WEB_DIGEST@';
// Beside this script; the page itself is cached under the address it was opened at.
const Files = [@TRACKER_WEB_FILES@];

function inScope(url) {
  return url.startsWith(self.registration.scope);
}

// The pages open now, and those an older release kept: index.html, the folder's own address, or
// whatever the page was served as.
async function pages() {
  const urls = (await self.clients.matchAll({ type: 'window', includeUncontrolled: true }))
    .map((client) => client.url.split(/[?#]/)[0]);
  const files = Files.map((file) => new URL(file, self.location).href);
  for (const name of await caches.keys()) {
    if (!name.startsWith(Prefix) || name === Cache) continue;
    for (const request of await (await caches.open(name)).keys()) urls.push(request.url);
  }
  return urls.filter((url) => inScope(url) && !files.includes(url));
}

self.addEventListener('install', (event) => {
  let existed = true;
  event.waitUntil((async () => {
    existed = await caches.has(Cache);
    const wanted = Array.from(new Set(Files.map((file) => new URL(file, self.location).href).concat(await pages())));
    const cache = await caches.open(Cache);
    // From the server, not the browser's HTTP cache, which may still hold the last release.
    await cache.addAll(wanted.map((url) => new Request(url, { cache: 'reload' })));
    await self.skipWaiting();
  })().catch(async (error) => {
    if (!existed) await caches.delete(Cache);  // a release is cached whole or not at all
    throw error;
  }));
});

self.addEventListener('activate', (event) => {
  event.waitUntil((async () => {
    for (const name of await caches.keys())
      if (name.startsWith(Prefix) && name !== Cache) await caches.delete(name);
    await self.clients.claim();
  })());
});

self.addEventListener('fetch', (event) => {
  const request = event.request;
  if (request.method !== 'GET' || !inScope(request.url)) return;
  event.respondWith(caches.match(request, { cacheName: Cache, ignoreSearch: true })
    .then((cached) => cached || fetch(request)));
});
