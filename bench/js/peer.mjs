// Runs N upscale pairs through the service's official JavaScript client against the stand-in
// service, four at a time, doing the same work as Moonforge's pipeline: upload, create with a
// 60 s wait, poll until the end, download every output to disk. Prints the wall time in ms.
//   node peer.mjs <api base .../v1> <pairs> <concurrency> <input image> <output folder>
import Replicate from "replicate";
import { readFile, writeFile, mkdir } from "node:fs/promises";
import { basename, join } from "node:path";

const [apiBase, pairsText, concurrencyText, inputPath, outDir] = process.argv.slice(2);
const pairs = Number(pairsText);
const concurrency = Number(concurrencyText);
const replicate = new Replicate({ auth: "r8_bench", baseUrl: apiBase, useFileOutput: false });
const bytes = await readFile(inputPath);
await mkdir(outDir, { recursive: true });

const terminal = new Set(["succeeded", "failed", "canceled", "aborted"]);

function outputUrls(output) {
  if (typeof output === "string") return [output];
  if (Array.isArray(output)) return output.flatMap(outputUrls);
  if (output && typeof output === "object") return Object.values(output).flatMap(outputUrls);
  return [];
}

// A community model runs by its version, as on the service.
const versionId = replicate.models
  .get("nightmareai", "real-esrgan")
  .then((model) => model.latest_version.id);

async function onePair(index) {
  const file = await replicate.files.create(new Blob([bytes]), { filename: basename(inputPath) });
  let prediction = await replicate.predictions.create({
    version: await versionId,
    input: { image: file.urls.get, scale: 2 },
    wait: 60,
  });
  if (!terminal.has(prediction.status)) prediction = await replicate.wait(prediction, { interval: 1000 });
  if (prediction.status !== "succeeded") throw new Error(`pair ${index}: ${prediction.status}`);
  let n = 0;
  for (const url of outputUrls(prediction.output)) {
    const response = await fetch(url);
    if (!response.ok) throw new Error(`pair ${index}: download ${response.status}`);
    await writeFile(join(outDir, `out-${index}-${n++}.png`), Buffer.from(await response.arrayBuffer()));
  }
}

const started = performance.now();
let cursor = 0;
async function worker() {
  while (cursor < pairs) await onePair(cursor++);
}
await Promise.all(Array.from({ length: concurrency }, worker));
console.log(`js_wall_ms=${(performance.now() - started).toFixed(1)}`);
