// Each video tracker-render writes by default plays in headless Chromium, at 640x480, to its
// end. Usage: node video_play_test.cjs --render TRACKER_RENDER --modules DIR --chromium PATH --work DIR
'use strict';
const childProcess = require('child_process');
const fs = require('fs');
const path = require('path');

const options = {};
for (let i = 2; i + 1 < process.argv.length; i += 2) options[process.argv[i].replace(/^--/, '')] = process.argv[i + 1];

async function main() {
  if (!options.chromium || !fs.existsSync(options.chromium)) {
    console.log(`SKIP: no Chromium found (${options.chromium}); scripts/install-deps installs it`);
    return 77;
  }
  fs.rmSync(options.work, { recursive: true, force: true });
  fs.mkdirSync(options.work, { recursive: true });
  const videos = ['demo.webm', 'demo.mp4'];
  for (const name of videos) {
    childProcess.execFileSync('sh', ['-c', `exec ${options.render} --video "$1" --from 0 --to 1.5 --fps 60`, 'render',
                                     path.join(options.work, name)], { stdio: 'inherit' });
  }
  // The page plays the video named after '?' and reports how it ended.
  fs.writeFileSync(path.join(options.work, 'play.html'), `<!DOCTYPE html>
<video muted playsinline></video>
<script>
const video = document.querySelector('video');
window.outcome = new Promise(resolve => {
  video.addEventListener('ended', () => resolve({ ended: true, width: video.videoWidth, height: video.videoHeight,
                                                   time: video.currentTime, duration: video.duration }));
  video.addEventListener('error', () => resolve({ error: video.error ? video.error.message || video.error.code : '?' }));
});
video.src = location.search.slice(1);
video.play().catch(error => console.log('play: ' + error));
</script>`);

  const puppeteer = require(require.resolve('puppeteer-core', { paths: [options.modules] }));
  const profile = fs.mkdtempSync(path.join(options.work, 'profile-'));
  // As the page's tests start it: no sandbox for root, nothing beside the page.
  const browser = await puppeteer.launch({
    executablePath: options.chromium,
    headless: true,
    args: ['--no-sandbox', '--disable-gpu', '--disable-background-networking', '--disable-component-update',
           '--disable-sync', '--no-first-run', '--autoplay-policy=no-user-gesture-required',
           '--allow-file-access-from-files', `--user-data-dir=${profile}`],
  });
  let failed = false;
  try {
    for (const name of videos) {
      const page = await browser.newPage();
      await page.goto(`file://${path.join(options.work, 'play.html')}?${name}`);
      // Waits on the video's own end, with a deadline far beyond its 1.5 seconds.
      const outcome = await Promise.race([
        page.evaluate(() => window.outcome),
        new Promise(resolve => setTimeout(() => resolve({ error: 'did not end within 60 s' }), 60000)),
      ]);
      const played = outcome.ended && outcome.width === 640 && outcome.height === 480 &&
                     Math.abs(outcome.duration - 1.5) < 0.05 && Math.abs(outcome.time - outcome.duration) < 0.05;
      console.log(`${played ? 'PASS' : 'FAIL'}: ${name}: ${JSON.stringify(outcome)}`);
      failed = failed || !played;
      await page.close();
    }
  } finally {
    await browser.close();
  }
  return failed ? 1 : 0;
}

main().then(status => process.exit(status), error => {
  console.log(`FAIL: ${error.stack || error}`);
  process.exit(1);
});
